// The byte layouts of the saved run state (little-endian): the block lists
// as 20-byte records and the variables as 2192-byte records with UTF-16
// names and strings. Decoding checks every record and refuses a file that
// does not hold whole, well-formed records; it never reads past the end.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "script/block_list.h"
#include "script/var_list.h"

namespace tb {

constexpr size_t kBlockRecordSize = 20;
constexpr size_t kVarRecordSize = 2192;
constexpr size_t kVarNameUnits = 64;     // with the terminator
constexpr size_t kVarStringUnits = 1024; // with the terminator

// Block entries in list order: 8 bytes of link data (zero), depth, kind, resume.
std::vector<uint8_t> encode_block_list(const BlockList& list);
// Replaces `out` with the entries of `bytes`. False with `error` set when the
// size is not a whole number of records or a kind is unknown.
bool decode_block_list(std::span<const uint8_t> bytes, BlockList& out, std::string& error);

// Variables in creation order: name, type, padding, number, string.
std::vector<uint8_t> encode_var_list(const VarList& vars);
// Replaces `out` with the variables of `bytes`. False with `error` set when
// the size is not a whole number of records, a type is unknown, a name is
// empty, or a name or string lacks its terminator.
bool decode_var_list(std::span<const uint8_t> bytes, VarList& out, std::string& error);

}  // namespace tb
