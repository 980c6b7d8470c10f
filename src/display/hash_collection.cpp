#include "display/hash_collection.h"

#include <cstdint>
#include <utility>

#include "toolkit/translate.h"

namespace {

// Lower-cases ASCII letters and the Cyrillic capitals of UTF-8 text. Both forms keep the byte
// length, so the bucket formula sees the same length for any spelling of a name.
std::string LowerName(std::string_view s) {
  std::string out(s);
  for (size_t i = 0; i < out.size(); ++i) {
    auto c = static_cast<uint8_t>(out[i]);
    if (c >= 'A' && c <= 'Z') {
      out[i] = static_cast<char>(c + 32);
    } else if (c == 0xD0 && i + 1 < out.size()) {
      auto d = static_cast<uint8_t>(out[i + 1]);
      if (d >= 0x90 && d <= 0x9F) {  // U+0410..U+041F -> U+0430..U+043F
        out[i + 1] = static_cast<char>(d + 0x20);
      } else if (d >= 0xA0 && d <= 0xAF) {  // U+0420..U+042F -> U+0440..U+044F
        out[i] = static_cast<char>(0xD1);
        out[i + 1] = static_cast<char>(d - 0x20);
      } else if (d == 0x81) {  // Ё -> ё
        out[i] = static_cast<char>(0xD1);
        out[i + 1] = static_cast<char>(0x91);
      }
      ++i;
    }
  }
  return out;
}

}  // namespace

void THashCollectionItem::SetName(const std::string& name) {
  if (collection_ == nullptr) {
    name_ = name;
    lowerName_ = LowerName(name);
    return;
  }
  // The bucket depends on the name, so the item leaves its old chain before the change.
  collection_->Unfile(this);
  name_ = name;
  lowerName_ = LowerName(name);
  collection_->File(this);
}

THashCollection::THashCollection(std::string notFoundFormat)
    : notFoundFormat_(std::move(notFoundFormat)) {}

THashCollection::~THashCollection() { Clear(); }

namespace {
// The bucket of a name already folded to lower case.
int HashOfLower(std::string_view lower) {
  size_t len = lower.size();
  uint32_t h = static_cast<uint32_t>(len) * 16u;
  if (len > 1) {
    h += static_cast<uint8_t>(lower[len - 2]);
    h += static_cast<uint8_t>(lower[0]);
  }
  return static_cast<int>(h & 0xFFu);
}
}  // namespace

int THashCollection::HashOf(std::string_view name) { return HashOfLower(LowerName(name)); }

bool THashCollection::SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && LowerName(a) == LowerName(b);
}

THashCollectionItem* THashCollection::GetItem(int index) const {
  if (index < 0 || index >= Count())
    throw EListError(Format(toolkit::Tr("Index of the list exceeds the range. (%d)"), index));
  return items_[static_cast<size_t>(index)].get();
}

THashCollectionItem* THashCollection::Add(std::unique_ptr<THashCollectionItem> item) {
  if (!item) return nullptr;
  THashCollectionItem* raw = item.get();
  raw->collection_ = this;
  raw->index_ = Count();
  items_.push_back(std::move(item));
  File(raw);
  return raw;
}

THashCollectionItem* THashCollection::Add() { return Add(NewItem()); }

void THashCollection::Delete(int index) {
  THashCollectionItem* item = GetItem(index);
  Unfile(item);
  // Every item after the removed one remembers an index one lower.
  for (size_t i = static_cast<size_t>(index) + 1; i < items_.size(); ++i) --items_[i]->index_;
  std::unique_ptr<THashCollectionItem> owned = std::move(items_[static_cast<size_t>(index)]);
  items_.erase(items_.begin() + index);
  owned->collection_ = nullptr;
  owned->index_ = -1;
  // `owned` is freed here, after the collection no longer refers to it.
}

void THashCollection::Clear() {
  // Free from the last so that no item sees a half-emptied list above it.
  while (!items_.empty()) Delete(Count() - 1);
}

THashCollectionItem* THashCollection::FindOrNull(std::string_view name) const {
  // Names are folded once here and once when they are set, not at every comparison: the game
  // looks pictures up by name in every frame.
  std::string lower = LowerName(name);
  for (THashCollectionItem* p = buckets_[HashOfLower(lower)]; p != nullptr; p = p->next_) {
    if (p->lowerName_ == lower) return p;
  }
  return nullptr;
}

int THashCollection::IndexOf(std::string_view name) const {
  THashCollectionItem* item = FindOrNull(name);
  return item ? item->index_ : -1;
}

THashCollectionItem* THashCollection::Find(std::string_view name) const {
  THashCollectionItem* item = FindOrNull(name);
  if (item == nullptr) RaiseNotFound(name);
  return item;
}

std::unique_ptr<THashCollectionItem> THashCollection::NewItem() {
  return std::make_unique<THashCollectionItem>();
}

std::string THashCollection::NotFoundMessage(std::string_view name) const {
  std::string n(name);
  // The format is the collection's own constant text, translated; "%%s" style escapes are not
  // used.
  std::string out;
  const std::string f = toolkit::Tr(notFoundFormat_.c_str());
  size_t at = f.find("%s");
  if (at == std::string::npos) return f;
  out = f.substr(0, at) + n + f.substr(at + 2);
  return out;
}

void THashCollection::RaiseNotFound(std::string_view name) const {
  throw EHashCollectionError(NotFoundMessage(name));
}

void THashCollection::File(THashCollectionItem* item) {
  int b = HashOf(item->name_);
  item->next_ = buckets_[b];
  buckets_[b] = item;
}

void THashCollection::Unfile(THashCollectionItem* item) {
  THashCollectionItem** link = &buckets_[HashOf(item->name_)];
  while (*link != nullptr && *link != item) link = &(*link)->next_;
  if (*link == item) *link = item->next_;
  item->next_ = nullptr;
}
