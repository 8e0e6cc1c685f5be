#include "script/state_records.h"

#include "common/format.h"
#include "common/text.h"
#include "script/little_endian.h"

namespace tb {

namespace {

constexpr size_t kNameOffset = 0;
constexpr size_t kTypeOffset = kNameOffset + 2 * kVarNameUnits;  // 128
constexpr size_t kNumberOffset = kTypeOffset + 8;                // type and padding
constexpr size_t kStringOffset = kNumberOffset + 8;              // 144
static_assert(kStringOffset + 2 * kVarStringUnits == kVarRecordSize);

// `text` as UTF-16 in a field of `units` code units, the last one always a terminator.
void put_utf16_field(std::vector<uint8_t>& out, const std::string& text, size_t units) {
    std::u16string w = to_utf16(utf16_truncate(text, units - 1));
    for (size_t i = 0; i < units; ++i) put_le(out, i < w.size() ? w[i] : 0, 2);
}

// The text of a terminated UTF-16 field; false when no terminator is inside it.
bool get_utf16_field(std::span<const uint8_t> record, size_t offset, size_t units, std::string& out) {
    std::u16string w;
    for (size_t i = 0; i < units; ++i) {
        auto c = static_cast<char16_t>(get_le(record, offset + 2 * i, 2));
        if (c == 0) {
            out = to_utf8(w);
            return true;
        }
        w.push_back(c);
    }
    return false;
}

bool valid_kind(uint64_t kind) { return kind >= 1 && kind <= 4; }

}  // namespace

std::vector<uint8_t> encode_block_list(const BlockList& list) {
    std::vector<uint8_t> out;
    out.reserve(list.size() * kBlockRecordSize);
    for (const BlockEntry& e : list.entries()) {
        put_le(out, 0, 8);
        put_le(out, e.depth, 4);
        put_le(out, static_cast<uint32_t>(e.kind), 4);
        put_le(out, e.resume, 4);
    }
    return out;
}

bool decode_block_list(std::span<const uint8_t> bytes, BlockList& out, std::string& error) {
    if (bytes.size() % kBlockRecordSize != 0) {
        error = fmt("%d bytes are not whole %d-byte block records", static_cast<int>(bytes.size()),
                    static_cast<int>(kBlockRecordSize));
        return false;
    }
    BlockList list;
    for (size_t at = 0; at < bytes.size(); at += kBlockRecordSize) {
        auto depth = static_cast<uint32_t>(get_le(bytes, at + 8, 4));
        uint64_t kind = get_le(bytes, at + 12, 4);
        auto resume = static_cast<uint32_t>(get_le(bytes, at + 16, 4));
        if (!valid_kind(kind)) {
            error = fmt("block record %d has the unknown kind %d", static_cast<int>(at / kBlockRecordSize),
                        static_cast<int>(kind));
            return false;
        }
        list.push(static_cast<BlockKind>(kind), resume);
        list.top()->depth = depth;
    }
    out = std::move(list);
    return true;
}

std::vector<uint8_t> encode_var_list(const VarList& vars) {
    std::vector<uint8_t> out;
    out.reserve(vars.size() * kVarRecordSize);
    for (const Variable& v : vars.variables()) {
        put_utf16_field(out, v.name, kVarNameUnits);
        put_le(out, static_cast<uint32_t>(v.value.type), 4);
        put_le(out, 0, 4);
        put_le(out, v.value.is_number() ? static_cast<uint64_t>(v.value.num) : 0, 8);
        put_utf16_field(out, v.value.is_string() ? v.value.str : std::string(), kVarStringUnits);
    }
    return out;
}

bool decode_var_list(std::span<const uint8_t> bytes, VarList& out, std::string& error) {
    if (bytes.size() % kVarRecordSize != 0) {
        error = fmt("%d bytes are not whole %d-byte variable records", static_cast<int>(bytes.size()),
                    static_cast<int>(kVarRecordSize));
        return false;
    }
    VarList vars;
    for (size_t at = 0; at < bytes.size(); at += kVarRecordSize) {
        const int index = static_cast<int>(at / kVarRecordSize);
        std::span<const uint8_t> record = bytes.subspan(at, kVarRecordSize);
        std::string name;
        if (!get_utf16_field(record, kNameOffset, kVarNameUnits, name) || name.empty()) {
            error = fmt("variable record %d has no terminated name", index);
            return false;
        }
        uint64_t type = get_le(record, kTypeOffset, 4);
        auto number = static_cast<int64_t>(get_le(record, kNumberOffset, 8));
        switch (static_cast<ValueType>(type)) {
            case ValueType::Undefined: vars.set(name, Value{}); break;
            case ValueType::Decimal:
            case ValueType::Hex: vars.set_number(name, number, static_cast<ValueType>(type)); break;
            case ValueType::String: {
                std::string text;
                if (!get_utf16_field(record, kStringOffset, kVarStringUnits, text)) {
                    error = fmt("variable record %d (%s) has no terminated string", index, name);
                    return false;
                }
                vars.set_string(name, text);
                break;
            }
            default:
                error = fmt("variable record %d (%s) has the unknown type %d", index, name, static_cast<int>(type));
                return false;
        }
    }
    out = std::move(vars);
    return true;
}

}  // namespace tb
