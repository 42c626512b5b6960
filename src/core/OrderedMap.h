#pragma once
#include <QtGlobal>

#include <optional>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

// The dictionary the import and the mapping share: lookup by key, iteration in
// insertion order, adding a present key fails, an absent key reads as empty.
template <class V>
class OrderedMap {
 public:
  void add(qint32 key, V item) {
    if (index_.count(key)) throw DuplicateKey(key);
    index_.emplace(key, entries_.size());
    entries_.emplace_back(key, std::move(item));
  }
  bool contains(qint32 key) const { return index_.count(key) != 0; }
  std::optional<V> value(qint32 key) const {
    const auto it = index_.find(key);
    if (it == index_.end()) return std::nullopt;
    return entries_[it->second].second;
  }
  void remove(qint32 key) {
    const auto it = index_.find(key);
    if (it == index_.end()) return;
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(it->second));
    rebuildIndex();
  }
  void clear() {
    entries_.clear();
    index_.clear();
  }
  int size() const { return static_cast<int>(entries_.size()); }
  bool empty() const { return entries_.empty(); }
  qint32 keyAt(int i) const { return entries_.at(static_cast<size_t>(i)).first; }
  const V& itemAt(int i) const { return entries_.at(static_cast<size_t>(i)).second; }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

  // Same error number as the original dictionary's "key already exists".
  struct DuplicateKey : std::runtime_error {
    explicit DuplicateKey(qint32 k)
        : std::runtime_error("This key is already associated with an element of this collection"),
          key(k) {}
    qint32 key;
    static constexpr int number = 457;
  };

 private:
  void rebuildIndex() {
    index_.clear();
    for (size_t i = 0; i < entries_.size(); ++i) index_.emplace(entries_[i].first, i);
  }
  std::vector<std::pair<qint32, V>> entries_;
  std::unordered_map<qint32, size_t> index_;
};

using IdMap = OrderedMap<qint32>;
