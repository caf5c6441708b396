#pragma once
// What the operator typed or chose in the main window: the text of each edit,
// the item chosen in each list (kHemisphereUnset for none) and the state of
// the GPS box. The window reads it from its controls for each commit.

#include <array>
#include <string>
#include <string_view>

#include "context/field_table.h"
#include "geodesy/station.h"

namespace quarbe {

class Form {
 public:
  Form() { selections_.fill(kHemisphereUnset); }

  // A control without a row reads as an empty text, no selection, unchecked.
  const std::string& Text(int id) const {
    static const std::string kNone;
    const std::size_t index = FieldIndex(id);
    return index < kFieldCount ? texts_[index] : kNone;
  }
  int Selection(int id) const {
    const std::size_t index = FieldIndex(id);
    return index < kFieldCount ? selections_[index] : kHemisphereUnset;
  }
  bool Checked(int id) const {
    const std::size_t index = FieldIndex(id);
    return index < kFieldCount && checked_[index];
  }

  void SetText(int id, std::string_view text) {
    if (const std::size_t index = FieldIndex(id); index < kFieldCount) texts_[index] = std::string(text);
  }
  void SetSelection(int id, int selection) {
    if (const std::size_t index = FieldIndex(id); index < kFieldCount) selections_[index] = selection;
  }
  void SetChecked(int id, bool checked) {
    if (const std::size_t index = FieldIndex(id); index < kFieldCount) checked_[index] = checked;
  }

 private:
  std::array<std::string, kFieldCount> texts_;
  std::array<int, kFieldCount> selections_{};
  std::array<bool, kFieldCount> checked_{};
};

}  // namespace quarbe
