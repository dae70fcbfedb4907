// Expression tree nodes: evaluation, assignment and ownership.
#include <utility>

#include "expr.h"

BinaryNode::BinaryNode(NodePtr lhs, NodePtr rhs) : left(std::move(lhs)), right(std::move(rhs)) {}

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

AssignNode::AssignNode(std::unique_ptr<VariableNode> target, NodePtr value)
    : variable(std::move(target)), operand(std::move(value)) {}

double AssignNode::Evaluate() { return variable->Assign(operand->Evaluate()); }

NegateNode::NegateNode(NodePtr child) : operand(std::move(child)) {}

double NegateNode::Evaluate() { return -operand->Evaluate(); }

double NumberNode::Evaluate() { return value; }

double VariableNode::Assign(double value) { return entry->value = value; }

double VariableNode::Evaluate() { return entry->value; }
