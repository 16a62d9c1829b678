#include "util/Unicode.h"

namespace quillet::unicode {

bool isLetter(char32_t)
{
    return false;
}
bool isMark(char32_t)
{
    return false;
}
bool isNumber(char32_t)
{
    return false;
}
bool isPunctuation(char32_t)
{
    return false;
}
bool isSymbol(char32_t)
{
    return false;
}
bool isSeparator(char32_t)
{
    return false;
}
bool isWhiteSpace(char32_t)
{
    return false;
}
bool isUppercase(char32_t)
{
    return false;
}
char32_t codePointAt(QStringView text, qsizetype index, qsizetype* next)
{
    if (next)
        *next = index + 1;
    return text[index].unicode();
}
QString trimmed(QStringView text)
{
    return text.toString();
}
QString lowercased(QStringView text)
{
    return text.toString();
}
bool equalsIgnoringCase(QStringView a, QStringView b)
{
    return a == b;
}
QList<QStringView> splitWords(QStringView)
{
    return {};
}
QStringView stripPunctuationAndSymbols(QStringView word)
{
    return word;
}
QString matchKey(QStringView word)
{
    return word.toString();
}
QString bareWord(QStringView word)
{
    return word.toString();
}
QString letterKey(QStringView text)
{
    return text.toString();
}
QList<QStringView> graphemes(QStringView)
{
    return {};
}
qsizetype graphemeCount(QStringView text)
{
    return text.size();
}
double similarity(QStringView, QStringView)
{
    return 1.0;
}

} // namespace quillet::unicode
