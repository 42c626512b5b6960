#pragma once
#include <QString>
#include <QtGlobal>

#include <vector>

// One list box of the mapping form without its widget: entries in the order
// they were added (no sorting), each with its ItemData, and the selected index
// (-1 when nothing is selected).
class MappingList {
 public:
  struct Entry {
    QString text;
    qint32 itemData = 0;
  };

  int ListIndex = -1;

  int ListCount() const { return static_cast<int>(entries_.size()); }
  bool empty() const { return entries_.empty(); }
  bool hasSelection() const { return ListIndex >= 0 && ListIndex < ListCount(); }
  const QString& List(int i) const { return entries_.at(static_cast<size_t>(i)).text; }
  qint32 ItemData(int i) const { return entries_.at(static_cast<size_t>(i)).itemData; }
  const QString& selectedText() const { return List(ListIndex); }
  qint32 selectedItemData() const { return ItemData(ListIndex); }
  const std::vector<Entry>& entries() const { return entries_; }

  void AddItem(const QString& text, qint32 itemData) { entries_.push_back({text, itemData}); }
  void RemoveItem(int i) {
    entries_.erase(entries_.begin() + i);
    if (ListIndex == i)
      ListIndex = -1;
    else if (ListIndex > i)
      --ListIndex;
  }
  void Clear() {
    entries_.clear();
    ListIndex = -1;
  }
  void selectFirst() { ListIndex = empty() ? -1 : 0; }
  void selectLast() { ListIndex = ListCount() - 1; }

 private:
  std::vector<Entry> entries_;
};
