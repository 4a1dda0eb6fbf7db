// The word table of the library's dialogs: nine languages by 87 word ids, UTF-8 texts.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

enum TMsgLanguage : uint8_t {
  msSystem,
  msEnglish,
  msItalian,
  msGerman,
  msSpanish,
  msFrench,
  msPortuguese,
  msGreek,
  msUser,
};

constexpr int VLLanguageCount = 9;
constexpr int VLWordCount = 87;

// Stores Text at row Lang, column Id; rows and ids outside the table are ignored.
void VLWordSet(TMsgLanguage Lang, int Id, const std::string& Text);
// The text of a word id: the row's entry, else the English one; msSystem follows the
// user's locale and returns that row's entry as it stands.
std::string VLWordGet(int Id, TMsgLanguage Lang);

// Primary language id of the user's default locale (7 German, 8 Greek, 9 English,
// 10 Spanish, 12 French, 16 Italian, 19 Dutch, 22 Portuguese, 0 any other).
int VLUserPrimaryLanguageId();
// Tests pin the locale with their own source; an empty one returns to the system's.
void VLSetUserLanguageSource(std::function<int()> Source);
