// The toolkit's two controls that hold items: `NativeChoice`, a pop-up choice list whose items
// carry a text and an untyped data pointer (not owned), and `NativeListControl`, a scrolling
// list of rows with one checkbox column, backed by its data source. Both follow every rule of
// Controls.h: ids, peers, listener registries, the skip-listener rule, main thread only.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "standalone/app/toolkit/ListenerRegistry.h"
#include "standalone/app/toolkit/NativeControl.h"

namespace vantor::VNT {

/// The size of a choice list: 1 small, 2 mini, any other value standard.
struct SizeFlag {
  int value = 0;
};

class ChoiceListener {
 public:
  virtual ~ChoiceListener() = default;
  virtual void choiceValueChanged(unsigned id, unsigned index, const std::string& utf8) = 0;
};

class NativeChoice : public NativeControl {
 public:
  /// Item 0 is selected when there are items. `label` titles the list (not shown by GTK).
  NativeChoice(Window* window, void* parentView, const Point& origin, const Size& size,
               const std::string& label, const std::vector<std::string>& items,
               const std::string& name, unsigned id, const SizeFlag& sizeFlag);

  /// The selected index, -1 when none.
  virtual int getValue();
  /// The selected item's text; empty when none is selected.
  virtual const std::string& getStringValue();
  /// Selects `index` and tells every listener but `skipListener`; an index outside the items
  /// changes nothing and tells no one.
  virtual void setValue(unsigned index, unsigned skipListener);
  /// The first item equal to `utf8` (byte for byte), as above; nothing when none matches.
  virtual void setValue(const std::string& utf8, unsigned skipListener);
  /// The user chose an item: every listener hears it.
  virtual void valueUpdated();
  virtual unsigned addChoiceListener(ChoiceListener* listener);
  virtual bool removeChoiceListener(unsigned registrationId);
  /// Appends an item (data null); answers its index.
  virtual unsigned appendChoice(const std::string& utf8);
  virtual void changeChoice(unsigned index, const std::string& utf8);
  virtual void setChoiceData(unsigned index, void* data);
  /// Null outside the items.
  virtual void* getChoiceData(unsigned index);
  virtual int getNumberOfItems();
  virtual void removeChoice(unsigned index);
  virtual void removeChoice(const std::string& utf8);
  virtual void removeAllChoices();
  /// Empty outside the items.
  virtual const std::string& getString(unsigned index);
  virtual bool hasChoice(const std::string& utf8);
  virtual bool findChoice(const std::string& utf8, unsigned& index);
  virtual void init();

 protected:
  void peerAction() override {
    dispatch([this] { valueUpdated(); });
  }

 private:
  ListenerRegistry<ChoiceListener> m_listeners;
  std::vector<std::string> m_items;
  std::vector<void*> m_itemData;
};

class ListControlCheckboxListener {
 public:
  virtual ~ListControlCheckboxListener() = default;
  virtual void listControlCheckboxValueChanged(unsigned listId, unsigned row, bool state) = 0;
};

class NativeListControl;

/// The rows of a list control: checkbox state and label by row number (from 0). Rows are only
/// appended. Owned by its list control.
class TableDataSource {
 public:
  explicit TableDataSource(NativeListControl& list) : m_list(list) {}
  /// Appends row `rowCount()`.
  void addCBRow(const std::string& utf8Label, bool state);
  unsigned rowCount() const { return static_cast<unsigned>(m_col1CBState.size()); }
  /// The label and state shown in `column` of `row`; false for other columns and rows.
  bool objectValue(const std::string& column, unsigned row, std::string& label, bool& state) const;
  /// An edit of `column` in `row`: only "col1CB" with a value takes it, then the list tells
  /// its listeners.
  void setObjectValue(const std::string& column, unsigned row, const bool* value);

 private:
  NativeListControl& m_list;
  std::map<unsigned, signed char> m_col1CBState;
  std::map<unsigned, std::string> m_col1CBName;
};

class NativeListControl : public NativeControl {
 public:
  enum ListControlStyle { kPlain = 0, kCheckboxColumn = 1 };

  /// Style 1: one checkbox column "col1CB" headed by `name`; any other style: no column (rows
  /// are counted, nothing of them is shown).
  NativeListControl(Window* window, void* parentView, const Point& origin, const Size& size,
                    ListControlStyle style, const std::string& name, unsigned id);

  void setAutoResize(bool flag) override;
  virtual void init();

  void addItemCheckbox(const std::string& utf8Label, bool state);
  unsigned addListControlCheckboxListener(ListControlCheckboxListener* listener);
  bool removeListControlCheckboxListener(unsigned registrationId);
  /// Every listener hears the row's new state.
  void checkboxValueChangedForRow(unsigned row, bool state);

  const TableDataSource& dataSource() const { return m_dataSource; }

 protected:
  void peerRowToggled(unsigned row, bool state) override;

 private:
  unsigned m_reserved = 0;  // nothing reads it
  TableDataSource m_dataSource;
  ListenerRegistry<ListControlCheckboxListener> m_listeners;
};

}  // namespace vantor::VNT
