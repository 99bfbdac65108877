// The init texts of the MIDI articulation plug-ins (Phrasekit, Bowkit): their own tokenizer and
// the "name:value|name:value" item form, read on the control thread (they allocate).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sorvelin {

/// Appends the pieces of `text` between occurrences of `separator` (exact bytes, left to
/// right) to `pieces`. Unlike the SDK's and the common library's tokenizers, a text without
/// the separator gives no piece at all, and an empty last piece is left out: "a|" gives a,
/// "|a" an empty piece and a. `separator` must not be empty.
void PSimpleStringTokenizer(const std::string& text, const std::string& separator,
                            std::vector<std::string>& pieces);

/// Calls `use(pieces)` with the ":" pieces of each "|" item of `initText`, in order. A text
/// without "|" is one item. Null calls nothing.
template <typename Use>
void forEachInitItem(const char* initText, Use&& use) {
  if (initText == nullptr) return;
  std::vector<std::string> items;
  PSimpleStringTokenizer(initText, "|", items);
  if (items.empty()) items.emplace_back(initText);
  for (const std::string& item : items) {
    std::vector<std::string> pieces;
    PSimpleStringTokenizer(item, ":", pieces);
    use(pieces);
  }
}

/// The leading integer of `text` as atoi reads it (blanks, a sign, digits up to the first other
/// character, 0 without a digit), limited to the int32 range instead of overflowing.
std::int32_t leadingInteger(const char* text);

/// The key range of an init text such as "low:36|high:96": an item of exactly two pieces named
/// exactly "low" or "high" sets that bound to the leadingInteger of its value; a later item
/// wins; anything else leaves the bounds alone.
void readKeyRange(const char* initText, std::int32_t& lowKey, std::int32_t& highKey);

}  // namespace sorvelin
