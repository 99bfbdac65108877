#include "standalone/app/toolkit/Choice.h"

#include <algorithm>

namespace vantor::VNT {
namespace {

const std::string& noText() {
  static const std::string empty;
  return empty;
}

}  // namespace

NativeChoice::NativeChoice(Window* window, void* parentView, const Point& origin,
                           const Size& size, const std::string& label,
                           const std::vector<std::string>& items, const std::string& name,
                           unsigned id, const SizeFlag& sizeFlag)
    : NativeControl(window, origin, size, name, id), m_items(items), m_itemData(items.size()) {
  ViewSetup setup;
  setup.kind = ViewKind::Choice;
  setup.label = label;
  setup.items = items;
  setup.sizeFlag = sizeFlag.value;
  createPeer(parentView, setup);
  if (!items.empty()) peer()->selectItem(0);
  NativeChoice::init();
}

void NativeChoice::init() { registerWithWindow(); }

int NativeChoice::getValue() { return peer() != nullptr ? peer()->selectedItem() : -1; }

const std::string& NativeChoice::getStringValue() {
  const int index = getValue();
  return index >= 0 ? getString(static_cast<unsigned>(index)) : noText();
}

void NativeChoice::setValue(unsigned index, unsigned skipListener) {
  if (index >= m_items.size()) return;
  if (peer() != nullptr) peer()->selectItem(static_cast<int>(index));
  const unsigned id = getId();
  const std::string text = m_items[index];
  m_listeners.tellEach([&](ChoiceListener* l) { l->choiceValueChanged(id, index, text); },
                       skipListener);
}

void NativeChoice::setValue(const std::string& utf8, unsigned skipListener) {
  unsigned index = 0;
  if (findChoice(utf8, index)) setValue(index, skipListener);
}

void NativeChoice::valueUpdated() {
  const int index = getValue();
  if (index < 0 || static_cast<std::size_t>(index) >= m_items.size()) return;
  const unsigned id = getId();
  const std::string text = m_items[static_cast<std::size_t>(index)];
  m_listeners.tellEach(
      [&](ChoiceListener* l) { l->choiceValueChanged(id, static_cast<unsigned>(index), text); });
}

unsigned NativeChoice::addChoiceListener(ChoiceListener* listener) {
  return m_listeners.add(listener);
}

bool NativeChoice::removeChoiceListener(unsigned registrationId) {
  return m_listeners.remove(registrationId);
}

unsigned NativeChoice::appendChoice(const std::string& utf8) {
  m_items.push_back(utf8);
  m_itemData.push_back(nullptr);
  if (peer() != nullptr) peer()->insertItem(static_cast<int>(m_items.size()) - 1, utf8);
  return static_cast<unsigned>(m_items.size() - 1);
}

void NativeChoice::changeChoice(unsigned index, const std::string& utf8) {
  if (index >= m_items.size() || peer() == nullptr ||
      static_cast<int>(index) >= peer()->itemCount())
    return;
  m_items[index] = utf8;
  peer()->setItemText(static_cast<int>(index), utf8);
}

void NativeChoice::setChoiceData(unsigned index, void* data) {
  if (index < m_itemData.size()) m_itemData[index] = data;
}

void* NativeChoice::getChoiceData(unsigned index) {
  return index < m_itemData.size() ? m_itemData[index] : nullptr;
}

int NativeChoice::getNumberOfItems() { return peer() != nullptr ? peer()->itemCount() : 0; }

void NativeChoice::removeChoice(unsigned index) {
  if (index >= m_items.size()) return;
  if (peer() != nullptr) peer()->removeItem(static_cast<int>(index));
  m_items.erase(m_items.begin() + index);
  m_itemData.erase(m_itemData.begin() + index);
}

void NativeChoice::removeChoice(const std::string& utf8) {
  unsigned index = 0;
  if (findChoice(utf8, index)) removeChoice(index);
}

void NativeChoice::removeAllChoices() {
  if (peer() != nullptr) peer()->removeAllItems();
  m_items.clear();
  m_itemData.clear();
}

const std::string& NativeChoice::getString(unsigned index) {
  return index < m_items.size() ? m_items[index] : noText();
}

bool NativeChoice::hasChoice(const std::string& utf8) {
  unsigned index = 0;
  return findChoice(utf8, index);
}

bool NativeChoice::findChoice(const std::string& utf8, unsigned& index) {
  const auto it = std::find(m_items.begin(), m_items.end(), utf8);
  if (it == m_items.end()) return false;
  index = static_cast<unsigned>(it - m_items.begin());
  return true;
}

void TableDataSource::addCBRow(const std::string& utf8Label, bool state) {
  const unsigned row = rowCount();
  m_col1CBState[row] = state ? 1 : 0;
  m_col1CBName[row] = utf8Label;
}

bool TableDataSource::objectValue(const std::string& column, unsigned row, std::string& label,
                                  bool& state) const {
  const auto it = m_col1CBState.find(row);
  if (column != "col1CB" || it == m_col1CBState.end()) return false;
  label = m_col1CBName.at(row);
  state = it->second != 0;
  return true;
}

void TableDataSource::setObjectValue(const std::string& column, unsigned row, const bool* value) {
  if (column != "col1CB" || value == nullptr) return;
  m_col1CBState[row] = *value ? 1 : 0;
  m_list.checkboxValueChangedForRow(row, *value);
}

NativeListControl::NativeListControl(Window* window, void* parentView, const Point& origin,
                                     const Size& size, ListControlStyle style,
                                     const std::string& name, unsigned id)
    : NativeControl(window, origin, size, name, id), m_dataSource(*this) {
  ViewSetup setup;
  setup.kind = ViewKind::List;
  setup.label = name;
  setup.checkboxColumn = style == kCheckboxColumn;
  createPeer(parentView, setup);
  NativeListControl::init();
}

void NativeListControl::init() { registerWithWindow(); }

void NativeListControl::setAutoResize(bool flag) {
  if (peer() != nullptr) peer()->setAutoResize(flag ? 63 : 0, flag);
}

void NativeListControl::addItemCheckbox(const std::string& utf8Label, bool state) {
  m_dataSource.addCBRow(utf8Label, state);
  if (peer() != nullptr) peer()->appendRow(utf8Label, state);
}

unsigned NativeListControl::addListControlCheckboxListener(ListControlCheckboxListener* listener) {
  return m_listeners.add(listener);
}

bool NativeListControl::removeListControlCheckboxListener(unsigned registrationId) {
  return m_listeners.remove(registrationId);
}

void NativeListControl::checkboxValueChangedForRow(unsigned row, bool state) {
  const unsigned id = getId();
  m_listeners.tellEach(
      [&](ListControlCheckboxListener* l) { l->listControlCheckboxValueChanged(id, row, state); });
}

void NativeListControl::peerRowToggled(unsigned row, bool state) {
  dispatch([&] { m_dataSource.setObjectValue("col1CB", row, &state); });
}

}  // namespace vantor::VNT
