#include "patients/FiscalCode.h"

#include <QDate>
#include <QDebug>

namespace {

struct Letters
{
    QString consonants;
    QString vowels;
};

// Upper-cased plain letters of `text` in order; anything else (blanks, apostrophes, accented
// letters) has no place in a fiscal code and is skipped.
Letters splitLetters(const QString &text)
{
    static const QString vowels = QStringLiteral("AEIOU");
    static const QString consonants = QStringLiteral("BCDFGHJKLMNPQRSTVWXYZ");
    Letters out;
    for (const QChar c : text) {
        const QChar u = c.toUpper();
        if (vowels.contains(u))
            out.vowels.append(u);
        else if (consonants.contains(u))
            out.consonants.append(u);
    }
    return out;
}

// Consonants first, then vowels, padded with "X" for short names such as "Fo".
QString consonantsThenVowels(const Letters &l)
{
    return (l.consonants + l.vowels + QStringLiteral("XXX")).left(3);
}

QString surnamePart(const Letters &l)
{
    return l.consonants.size() >= 3 ? l.consonants.left(3) : consonantsThenVowels(l);
}

QString namePart(const Letters &l)
{
    const QString &c = l.consonants;
    if (c.size() >= 4)
        return QString(c.at(0)) + c.at(2) + c.at(3);
    return c.size() == 3 ? c : consonantsThenVowels(l);
}

// Letter (L) or digit (D) at each of the 16 places.
constexpr char layout[] = "LLLLLLDDLDDLDDDL";

bool hasLayout(const QString &cf)
{
    if (cf.size() < 16)
        return false;
    for (int i = 0; i < 16; ++i) {
        const bool ok = layout[i] == 'L' ? cf.at(i).isLetter() : cf.at(i).isDigit();
        if (!ok)
            return false;
    }
    return true;
}

bool birthDataMatch(const QString &cf, const QDate &birth, bool female)
{
    const int day = birth.day() + (female ? 40 : 0);
    return cf.mid(9, 2).toInt() == day && cf.mid(6, 2).toInt() == birth.year() % 100
        && cf.at(8).toUpper() == fiscalMonthLetter(birth.month());
}

} // namespace

QString fiscalSurnamePart(const QString &surname)
{
    return surnamePart(splitLetters(surname));
}

QString fiscalNamePart(const QString &name)
{
    return namePart(splitLetters(name));
}

QChar fiscalMonthLetter(int month)
{
    static const char letters[] = "ABCDEHLMPRST";
    return month >= 1 && month <= 12 ? QChar(letters[month - 1]) : QChar();
}

QChar fiscalCheckCharacter(const QString &code)
{
    // Value of "0"-"9" and "A"-"Z" at odd (1-based) places; digits count as "A"-"J". At even
    // places a digit counts its value and a letter its index in the alphabet.
    static const int odd[26] = {1, 0, 5, 7, 9, 13, 15, 17, 19, 21, 2, 4, 18,
                                20, 11, 3, 6, 8, 12, 14, 16, 10, 22, 25, 24, 23};
    if (code.size() < 15)
        return QChar();
    int sum = 0;
    for (int i = 0; i < 15; ++i) {
        const QChar c = code.at(i).toUpper();
        int index;
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            index = c.unicode() - '0';
        else if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            index = c.unicode() - 'A';
        else
            return QChar();
        sum += i % 2 == 0 ? odd[index] : index;
    }
    return QChar('A' + sum % 26);
}

bool fiscalCodeMatches(const QString &cf, const QString &surname, const QString &name, const QDate &birth,
                       bool female)
{
    if (!hasLayout(cf))
        return false;

    const Letters surnameLetters = splitLetters(surname);
    const QString code = surnamePart(surnameLetters) + namePart(splitLetters(name));
    // toRecord() stores the code upper-cased, so a code typed in lower case is just as good.
    const int position = cf.toUpper().indexOf(code);
    qDebug().noquote() << code;
    qDebug().noquote() << surnameLetters.vowels;
    qDebug().noquote() << "VERIFICA? <0 NON OK. >=0 OK" << cf << position;
    if (position < 0)
        return false;

    if (!birthDataMatch(cf, birth, female))
        return false;

    const QChar check = fiscalCheckCharacter(cf);
    return !check.isNull() && check == cf.at(15).toUpper();
}

QString composeFiscalCode(const QString &surname, const QString &name, const QDate &birth, bool female,
                          const QString &place)
{
    const QString first15 = fiscalSurnamePart(surname) + fiscalNamePart(name)
        + QStringLiteral("%1").arg(birth.year() % 100, 2, 10, QLatin1Char('0')) + fiscalMonthLetter(birth.month())
        + QStringLiteral("%1").arg(birth.day() + (female ? 40 : 0), 2, 10, QLatin1Char('0')) + place.toUpper();
    return first15 + fiscalCheckCharacter(first15);
}
