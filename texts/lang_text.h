#pragma once
// The numbered operator texts (1..74) in English and German.

#include <QString>

// "ENG" or "GER"; any other code (from stored settings) reads as English.
extern QString CurrentLanguage;

// The wording of text `id` in CurrentLanguage; `english` is the English wording,
// which is also the fallback when no German text exists.
QString LangText(int id, const QString &english);
