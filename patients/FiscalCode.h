#pragma once

#include <QChar>
#include <QString>

class QDate;

// The Italian fiscal code ("codice fiscale") rules the patient form checks its fields against:
// the six letters drawn from surname and name, the birth year, month letter and day (plus 40
// for women), and the check character. No widgets here, so the tool and the tests use it too.

// Three letters from the surname: its first three consonants, else its consonants, then its
// vowels, then "X". Only the plain letters A-Z count; blanks, apostrophes, accents are skipped.
QString fiscalSurnamePart(const QString &surname);

// Three letters from the first name: with four or more consonants the first, third and fourth,
// otherwise as for the surname.
QString fiscalNamePart(const QString &name);

// The letter of a month (1 = January ... 12 = December); a null QChar for anything else.
QChar fiscalMonthLetter(int month);

// The check character of the first 15 characters of a code (case-insensitive); a null QChar when
// there are fewer than 15 or one of them is neither a digit nor a letter A-Z.
QChar fiscalCheckCharacter(const QString &code);

// True when `cf` has the fiscal code layout (letters and digits at their places), carries the
// surname and name letters, the birth data of `birth` and `female`, and a correct check character.
// Case does not matter. Only the first 16 characters are looked at: the form requires exactly 16.
// Logs the expected letters and where they were found.
bool fiscalCodeMatches(const QString &cf, const QString &surname, const QString &name, const QDate &birth,
                       bool female);

// A complete code for these data with the four-character place of birth `place` (e.g. "H501"
// for Rome), so that fiscalCodeMatches() accepts it. Used for demo and test patients.
QString composeFiscalCode(const QString &surname, const QString &name, const QDate &birth, bool female,
                          const QString &place);
