// Operands, the arithmetic/string evaluator, the condition evaluator and the
// assignment and increment statements. They see statement text in which every
// call and parenthesised group has already been replaced by a variable name.
#pragma once

#include <string>
#include <string_view>

#include "script/value.h"

namespace tb {

// Literal rules on their own (no variables): true when the text is a literal
// of that kind. Hex literals give type Hex, decimal literals type Decimal.
bool parse_hex_literal(std::string_view text, int64_t& out);
bool parse_decimal_literal(std::string_view text, int64_t& out);

// Operand text to value. An unknown name raises -25 and yields undefined.
Value get_value(int slot, std::string_view operand);

// Arithmetic and string evaluator without precedence; stores into `target`
// (a text with a comparison or logic operator goes to the condition evaluator).
void evaluate_expression(int slot, std::string_view expression, const std::string& target);

// Condition evaluator, strictly left to right; stores 1 or 0 into `target`.
void evaluate_condition(int slot, std::string_view condition, const std::string& target);

// Statements.
void assignment_statement(int slot, std::string_view statement);
bool is_increment_statement(std::string_view statement);
void increment_statement(int slot, std::string_view statement);

// A fresh temporary name "_Varible%d"; the counter runs 0..999 and wraps.
std::string fresh_temporary();

// The length variable of an array: name followed by "[0xEFFFFFFF]".
std::string array_length_name(std::string_view array);

}  // namespace tb
