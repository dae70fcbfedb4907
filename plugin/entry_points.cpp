// The exported entry points: each forwards into the plug-in's modules.
#include "plugin/host_contract.h"
#include "plugin/plugin.h"

extern "C" {

PLUGIN_EXPORT std::int32_t PLUGIN_CALL Initialize(void*, void*, void*) { return 1; }

PLUGIN_EXPORT void PLUGIN_CALL Uninitialize() {}

PLUGIN_EXPORT std::int32_t PLUGIN_CALL Configure() { return ShowAboutBox(); }

PLUGIN_EXPORT std::int32_t PLUGIN_CALL PublishInfo(char* name, void* command_info,
                                                   std::int32_t* flags) {
  PublishPluginInfo(name, command_info, flags);
  return 1;
}

PLUGIN_EXPORT std::int32_t PLUGIN_CALL ParseCommand(const char* command, const char* parameter,
                                                    void*, char* result) {
  return RunCommand(command, parameter, result);
}

PLUGIN_EXPORT std::int32_t PLUGIN_CALL ParseTag(void*, void*, void*) { return 0; }

PLUGIN_EXPORT std::int32_t PLUGIN_CALL ReceiveNotify(void*, void*, void*, void*) { return 0; }

}  // extern "C"
