#include <gtest/gtest.h>

#include <set>

#include "vistrel/view/language.h"

namespace {
struct LocaleGuard {
  explicit LocaleGuard(int id) {
    VLSetUserLanguageSource([id] { return id; });
  }
  ~LocaleGuard() { VLSetUserLanguageSource(nullptr); }
};
}  // namespace

TEST(WordTable, GivenWordsAndFallbacks) {
  EXPECT_EQ(VLWordGet(0, msUser), "Preview");
  EXPECT_EQ(VLWordGet(4, msGerman), "Abbrechen");
  EXPECT_EQ(VLWordGet(86, msFrench), "Ré-initialiser");
  EXPECT_EQ(VLWordGet(5, msFrench), "Bloquear Vista Previa");
  EXPECT_EQ(VLWordGet(85, msGreek), "Καθαρισμός");
  EXPECT_EQ(VLWordGet(6, msEnglish), "Copy Result to Source");
  EXPECT_EQ(VLWordGet(84, msEnglish), "Select the region to clean");
  EXPECT_EQ(VLWordGet(87, msEnglish), "");
  {
    LocaleGuard greek(8);
    EXPECT_EQ(VLWordGet(2, msSystem), "Αποτέλεσμα");
  }
  {
    LocaleGuard dutch(19);
    EXPECT_EQ(VLWordGet(2, msSystem), "Result");
  }
  {
    LocaleGuard italian(16);
    EXPECT_EQ(VLWordGet(1, msSystem), "Originale");
  }
}

TEST(WordTable, EveryLanguageHasEveryWord) {
  for (int lang = msEnglish; lang <= msGreek; ++lang) {
    std::set<std::string> seen;
    for (int id = 0; id < VLWordCount; ++id) {
      std::string w = VLWordGet(id, TMsgLanguage(lang));
      EXPECT_FALSE(w.empty()) << lang << " " << id;
      seen.insert(w);
    }
    // Words are not shifted against their ids: the row holds mostly distinct words.
    EXPECT_GT(seen.size(), 75u) << lang;
  }
  // A translated row is not the English one.
  int same = 0;
  for (int id = 0; id < VLWordCount; ++id) same += VLWordGet(id, msGerman) == VLWordGet(id, msEnglish);
  EXPECT_LT(same, 20);
  EXPECT_EQ(VLWordGet(32, msGerman), "Höhe");
  EXPECT_EQ(VLWordGet(17, msGreek), "Μπλε");
}

TEST(WordTable, SetChangesLaterReadsAndSystemRowHasNoFallback) {
  VLWordSet(msUser, 3, "Jawohl");
  EXPECT_EQ(VLWordGet(3, msUser), "Jawohl");
  VLWordSet(msUser, 3, "");
  EXPECT_EQ(VLWordGet(3, msUser), "OK");
  VLWordSet(msGerman, 22, "");
  {
    LocaleGuard german(7);
    EXPECT_EQ(VLWordGet(22, msSystem), "");  // the system row is returned as it stands
  }
  EXPECT_EQ(VLWordGet(22, msGerman), "Save");
  VLWordSet(msGerman, 22, "Speichern");
  VLWordSet(TMsgLanguage(9), 0, "x");  // outside the table: ignored
  VLWordSet(msUser, 200, "x");
}
