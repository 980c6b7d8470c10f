#include "display/hash_collection.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class Named : public THashCollectionItem {
 public:
  int payload = 0;
};

class NamedList : public THashCollectionOf<Named> {
 public:
  NamedList() : THashCollectionOf<Named>("Thing '%s' not found") {}
};

KX_DECLARE_ERROR(EOwnListError, Exception);

class OwnErrorList : public THashCollectionOf<Named> {
 protected:
  [[noreturn]] void RaiseNotFound(std::string_view name) const override {
    throw EOwnListError("own: " + std::string(name));
  }
};

Named* AddNamed(NamedList& list, const std::string& name, int payload) {
  Named* item = list.AddItem();
  item->SetName(name);
  item->payload = payload;
  return item;
}

TEST(HashCollection, BucketFormula) {
  // length * 16 + second-to-last + first, modulo 256, on the lower-cased name.
  EXPECT_EQ(THashCollection::HashOf(""), 0);
  EXPECT_EQ(THashCollection::HashOf("a"), 16);  // one character: only the length counts
  EXPECT_EQ(THashCollection::HashOf("shar1"), (5 * 16 + 'r' + 's') % 256);
  EXPECT_EQ(THashCollection::HashOf("SHAR1"), THashCollection::HashOf("shar1"));
  EXPECT_EQ(THashCollection::HashOf("kirp21"), (6 * 16 + '2' + 'k') % 256);
  // The last character plays no part, so whole families of names share a bucket.
  EXPECT_EQ(THashCollection::HashOf("kirp21"), THashCollection::HashOf("kirp29"));
  EXPECT_NE(THashCollection::HashOf("kirp21"), THashCollection::HashOf("kirp31"));
  // Long names wrap around.
  std::string longName(40, 'x');
  EXPECT_EQ(THashCollection::HashOf(longName), (40 * 16 + 'x' + 'x') % 256);
}

TEST(HashCollection, FindIgnoresCaseAndSeparatesBucketMates) {
  NamedList list;
  for (int t = 1; t <= 9; ++t)
    for (int f = 1; f <= 5; ++f) AddNamed(list, "kirp" + std::to_string(t * 10 + f), t * 10 + f);
  AddNamed(list, "shar1", 1000);
  EXPECT_EQ(list.FindItem("SHAR1")->payload, 1000);
  EXPECT_EQ(list.FindItem("Kirp23")->payload, 23);
  EXPECT_EQ(list.FindItem("kirp25")->payload, 25);
  EXPECT_EQ(list.FindItem("KIRP91")->payload, 91);
  EXPECT_EQ(list.IndexOf("kirp11"), 0);
  EXPECT_EQ(list.IndexOf("shar1"), 45);
  EXPECT_EQ(list.IndexOf("shar2"), -1);
  EXPECT_EQ(list.FindOrNull("kirp"), nullptr);
}

TEST(HashCollection, CyrillicNamesIgnoreCase) {
  NamedList list;
  AddNamed(list, "Ёжик", 7);
  EXPECT_EQ(list.FindItem("ёЖИК")->payload, 7);
  EXPECT_TRUE(THashCollection::SameName("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ",
                                        "абвгдеёжзийклмнопрстуфхцчшщъыьэюя"));
  EXPECT_FALSE(THashCollection::SameName("Ё", "Е"));
  EXPECT_FALSE(THashCollection::SameName("привет", "привес"));
}

TEST(HashCollection, MissingNameRaisesTheListsMessage) {
  NamedList list;
  AddNamed(list, "pop", 1);
  try {
    list.Find("snd");
    FAIL() << "no error raised";
  } catch (const EHashCollectionError& e) {
    EXPECT_EQ(e.Message(), "Thing 'snd' not found");
  }
  OwnErrorList own;
  EXPECT_THROW(own.Find("x"), EOwnListError);
}

TEST(HashCollection, ChainsAreNewestFirstAndRenameRefiles) {
  NamedList list;
  Named* older = AddNamed(list, "dup", 1);
  Named* newer = AddNamed(list, "DUP", 2);
  // Both sit in one bucket; the newest filed wins.
  EXPECT_EQ(list.FindItem("dup"), newer);
  // Renaming the older one files it again at the head of its chain.
  older->SetName("Dup");
  EXPECT_EQ(list.FindItem("dup"), older);
  // Renaming into another bucket removes it from the old chain.
  older->SetName("other");
  EXPECT_EQ(list.FindItem("dup"), newer);
  EXPECT_EQ(list.FindItem("OTHER"), older);
  newer->SetName("x");
  EXPECT_EQ(list.FindOrNull("dup"), nullptr);
  EXPECT_EQ(list.FindItem("X"), newer);
}

TEST(HashCollection, DeleteLowersLaterIndexesAndUnfiles) {
  NamedList list;
  for (int i = 0; i < 5; ++i) AddNamed(list, "i" + std::to_string(i), i);
  list.Delete(1);
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list.FindOrNull("i1"), nullptr);
  for (int i = 0; i < list.Count(); ++i) EXPECT_EQ(list.Items(i)->Index(), i);
  EXPECT_EQ(list.FindItem("i4")->Index(), 3);
  EXPECT_EQ(list.FindItem("i0")->Index(), 0);
  EXPECT_THROW(list.Delete(4), EListError);
  EXPECT_THROW(list.GetItem(-1), EListError);
  try {
    list.GetItem(7);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "Index of the list exceeds the range. (7)");
  }
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.FindOrNull("i0"), nullptr);
}

TEST(HashCollection, AdoptedItemsAreOwnedAndFiledUnderTheirName) {
  NamedList list;
  auto item = std::make_unique<Named>();
  item->SetName("pre");  // named before it joins: filed on Add
  item->payload = 9;
  Named* raw = static_cast<Named*>(list.Add(std::move(item)));
  EXPECT_EQ(raw->Collection(), &list);
  EXPECT_EQ(list.FindItem("PRE")->payload, 9);
  EXPECT_EQ(raw->Index(), 0);
}

}  // namespace
