// Expression tree nodes: evaluation, assignment and ownership.
#include <utility>

#include "expr.h"

double ExprNode::Assign(double) { return 0.0; }

double ExprNode::Evaluate() { return 0.0; }

BinaryNode::BinaryNode(NodePtr lhs, NodePtr rhs) : left(std::move(lhs)), right(std::move(rhs)) {}

// Children go left first; member destruction alone would free the right one first.
BinaryNode::~BinaryNode() {
  left.reset();
  right.reset();
}

// Each statement evaluates the left operand before the right: an assignment on
// the left must be seen by a read of the same variable on the right.
double AddNode::Evaluate() {
  const double lhs = left->Evaluate();
  return lhs + right->Evaluate();
}

double SubtractNode::Evaluate() {
  const double lhs = left->Evaluate();
  return lhs - right->Evaluate();
}

double MultiplyNode::Evaluate() {
  const double lhs = left->Evaluate();
  return lhs * right->Evaluate();
}

double DivideNode::Evaluate() {
  const double lhs = left->Evaluate();
  return lhs / right->Evaluate();
}

double AssignNode::Evaluate() { return left->Assign(right->Evaluate()); }

NegateNode::NegateNode(NodePtr child) : operand(std::move(child)) {}

double NegateNode::Evaluate() { return -operand->Evaluate(); }

double NumberNode::Evaluate() { return value; }

VariableNode::VariableNode(const char* name) : entry(FindOrAddVariable(name)) {}

double VariableNode::Assign(double value) { return entry->value = value; }

double VariableNode::Evaluate() { return entry->value; }
