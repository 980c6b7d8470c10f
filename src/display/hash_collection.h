// Named collections: an ordered list of owned items that also finds items by name, ignoring
// case, through a 256-bucket index. Image lists and wave lists are built on it.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/errors.h"
#include "toolkit/translate.h"

// Raised by a collection that has no item of the asked name (unless the collection overrides
// RaiseNotFound with an error class of its own).
KX_DECLARE_ERROR(EHashCollectionError, Exception);

class THashCollection;

// One named member of a THashCollection. Derived classes add the payload.
class THashCollectionItem {
 public:
  THashCollectionItem() = default;
  virtual ~THashCollectionItem() = default;
  THashCollectionItem(const THashCollectionItem&) = delete;
  THashCollectionItem& operator=(const THashCollectionItem&) = delete;

  // The lookup key as set (case kept).
  const std::string& Name() const { return name_; }
  // Renames the item and re-files it at the head of its new bucket's chain.
  void SetName(const std::string& name);
  // Position in the owning collection (0-based); -1 while not in a collection.
  int Index() const { return index_; }
  // The owning collection, or nullptr.
  THashCollection* Collection() const { return collection_; }

 private:
  friend class THashCollection;
  THashCollection* collection_ = nullptr;
  std::string name_;
  std::string lowerName_;  // name_ folded to lower case, kept for lookups
  int index_ = -1;
  THashCollectionItem* next_ = nullptr;  // next (older) item of the same bucket
};

class THashCollection {
 public:
  // `notFoundFormat` is the message raised by Find for a missing name, with one "%s".
  explicit THashCollection(std::string notFoundFormat = toolkit::TrLater("Item '%s' not found"));
  virtual ~THashCollection();
  THashCollection(const THashCollection&) = delete;
  THashCollection& operator=(const THashCollection&) = delete;

  // Number of items.
  int Count() const { return static_cast<int>(items_.size()); }
  // Item at `index`; raises EListError "Index of the list exceeds the range. (%d)" out of range.
  THashCollectionItem* GetItem(int index) const;
  // Takes ownership of `item`, appends it, files it under its current name; returns it.
  THashCollectionItem* Add(std::unique_ptr<THashCollectionItem> item);
  // Appends a fresh item made by NewItem(); returns it.
  THashCollectionItem* Add();
  // Frees the item at `index`; the items after it move down by one (EListError out of range).
  void Delete(int index);
  // Frees every item.
  void Clear();
  // Index of the item called `name` (ignoring case), or -1.
  int IndexOf(std::string_view name) const;
  // The item called `name` (ignoring case); nullptr when there is none.
  THashCollectionItem* FindOrNull(std::string_view name) const;
  // The item called `name` (ignoring case); raises RaiseNotFound(name) when there is none.
  THashCollectionItem* Find(std::string_view name) const;

  // Bucket (0..255) of a name: computed on the lower-cased name, length * 16 plus, for names
  // longer than one character, the codes of the second-to-last and the first character, mod 256.
  static int HashOf(std::string_view name);
  // Case-insensitive equality used by the index (ASCII letters and Cyrillic Windows-1251 /
  // UTF-8 letters compare without case).
  static bool SameName(std::string_view a, std::string_view b);

 protected:
  // Makes a new, unnamed item for Add(); the default makes a plain THashCollectionItem.
  virtual std::unique_ptr<THashCollectionItem> NewItem();
  // Raises the collection's error for a missing name (default: EHashCollectionError with the
  // not-found format filled with `name`).
  [[noreturn]] virtual void RaiseNotFound(std::string_view name) const;
  // The message for a missing name.
  std::string NotFoundMessage(std::string_view name) const;

 private:
  friend class THashCollectionItem;
  void File(THashCollectionItem* item);
  void Unfile(THashCollectionItem* item);

  std::string notFoundFormat_;
  std::vector<std::unique_ptr<THashCollectionItem>> items_;
  THashCollectionItem* buckets_[256] = {};
};

// A collection whose items are all of class T (derived from THashCollectionItem).
template <class T>
class THashCollectionOf : public THashCollection {
 public:
  using THashCollection::THashCollection;
  // Item at `index` (EListError out of range).
  T* Items(int index) const { return static_cast<T*>(GetItem(index)); }
  // Appends a new T and returns it.
  T* AddItem() { return static_cast<T*>(Add()); }
  // The item called `name` ignoring case; raises the collection's not-found error.
  T* FindItem(std::string_view name) const { return static_cast<T*>(Find(name)); }

 protected:
  std::unique_ptr<THashCollectionItem> NewItem() override { return MakeItem(); }
  // Makes the new T; override when T needs constructor arguments.
  virtual std::unique_ptr<T> MakeItem() { return std::make_unique<T>(); }
};
