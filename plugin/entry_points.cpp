// The exported entry points: each forwards into the plug-in's modules.
#include "plugin/host_contract.h"
#include "plugin/plugin.h"

extern "C" {

CALC_PLUGIN_EXPORT std::int32_t CALC_PLUGIN_CALL Initialize(void*, void*, void*) {
  return 1;
}

CALC_PLUGIN_EXPORT void CALC_PLUGIN_CALL Uninitialize() {}

CALC_PLUGIN_EXPORT std::int32_t CALC_PLUGIN_CALL Configure() {
  return ShowAboutBox();
}

CALC_PLUGIN_EXPORT std::int32_t CALC_PLUGIN_CALL PublishInfo(char* name, void* command_info,
                                                             std::int32_t* flags) {
  PublishPluginInfo(name, command_info, flags);
  return 1;
}

CALC_PLUGIN_EXPORT std::int32_t CALC_PLUGIN_CALL ParseCommand(const char* command,
                                                              const char* parameter, void*,
                                                              char* result) {
  return RunCommand(command, parameter, result);
}

CALC_PLUGIN_EXPORT std::int32_t CALC_PLUGIN_CALL ParseTag(void*, void*, void*) {
  return 0;
}

CALC_PLUGIN_EXPORT std::int32_t CALC_PLUGIN_CALL ReceiveNotify(void*, void*, void*, void*) {
  return 0;
}

}  // extern "C"

// Each definition converts to the type a host calls it through, or this does not compile.
[[maybe_unused]] constexpr CalcInitializeFn kInitializeType = Initialize;
[[maybe_unused]] constexpr CalcUninitializeFn kUninitializeType = Uninitialize;
[[maybe_unused]] constexpr CalcConfigureFn kConfigureType = Configure;
[[maybe_unused]] constexpr CalcPublishInfoFn kPublishInfoType = PublishInfo;
[[maybe_unused]] constexpr CalcParseCommandFn kParseCommandType = ParseCommand;
[[maybe_unused]] constexpr CalcParseTagFn kParseTagType = ParseTag;
[[maybe_unused]] constexpr CalcReceiveNotifyFn kReceiveNotifyType = ReceiveNotify;
