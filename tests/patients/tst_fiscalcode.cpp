// The fiscal code rules, on codes worked out by hand from the standard's tables.
#include "tests/support/TestMain.h"
#include "patients/FiscalCode.h"

#include <QDate>
#include <QTest>

class FiscalCodeTest : public QObject
{
    Q_OBJECT
private slots:
    void surnamePart_data();
    void surnamePart();
    void namePart_data();
    void namePart();
    void checkCharacter();
    void matches_data();
    void matches();
    void logsTheExpectedLetters();
    void composedCodesPass();
};

void FiscalCodeTest::surnamePart_data()
{
    QTest::addColumn<QString>("surname");
    QTest::addColumn<QString>("part");
    QTest::newRow("three consonants") << "Rossi" << "RSS";
    QTest::newRow("more consonants") << "Bianchi" << "BNC";
    QTest::newRow("two consonants and vowels") << "Fo" << "FOX";
    QTest::newRow("vowels then X") << "Re" << "REX";
    QTest::newRow("vowels only") << "Ai" << "AIX";
    QTest::newRow("apostrophe skipped") << "D'Angelo" << "DNG";
    QTest::newRow("blank skipped") << "De Luca" << "DLC";
    QTest::newRow("accented letter skipped") << "Rè" << "RXX";
    QTest::newRow("lower case") << "verdi" << "VRD";
}

void FiscalCodeTest::surnamePart()
{
    QFETCH(QString, surname);
    QFETCH(QString, part);
    QCOMPARE(fiscalSurnamePart(surname), part);
}

void FiscalCodeTest::namePart_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("part");
    QTest::newRow("Gianfranco: 1st, 3rd, 4th of six consonants") << "Gianfranco" << "GFR";
    QTest::newRow("four consonants") << "Roberto" << "RRT"; // R B R T -> R R T
    QTest::newRow("exactly three consonants") << "Marco" << "MRC";
    QTest::newRow("two consonants then a vowel") << "Mario" << "MRA";
    QTest::newRow("Ugo") << "Ugo" << "GUO";
    QTest::newRow("one consonant") << "Eva" << "VEA";
    QTest::newRow("padded with X") << "Al" << "LAX";
    QTest::newRow("accented letter skipped") << "Nicolò" << "NCL";
    QTest::newRow("two names") << "Anna Maria" << "NMR"; // N N M R -> N M R
}

void FiscalCodeTest::namePart()
{
    QFETCH(QString, name);
    QFETCH(QString, part);
    QCOMPARE(fiscalNamePart(name), part);
}

void FiscalCodeTest::checkCharacter()
{
    // Odd places R S R 8 A 1 5 1 = 8+12+8+19+1+0+13+0 = 61; even places S M A 0 0 H 0 = 37;
    // 98 mod 26 = 20 -> "U".
    QCOMPARE(fiscalCheckCharacter("RSSMRA80A01H501"), QChar('U'));
    QCOMPARE(fiscalCheckCharacter("rssmra80a01h501"), QChar('U'));
    QCOMPARE(fiscalCheckCharacter("RSSMRA80A01H501U"), QChar('U')); // only the first 15 count
    QVERIFY(fiscalCheckCharacter("RSSMRA80A01H50").isNull());
    QVERIFY(fiscalCheckCharacter(QString("RSSMRA80A01H5") + QChar(0x0660) + "1").isNull()); // Arabic-Indic zero
    QCOMPARE(fiscalMonthLetter(6), QChar('H'));
    QCOMPARE(fiscalMonthLetter(12), QChar('T'));
    QVERIFY(fiscalMonthLetter(13).isNull());
}

void FiscalCodeTest::matches_data()
{
    QTest::addColumn<QString>("cf");
    QTest::addColumn<QString>("surname");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QDate>("birth");
    QTest::addColumn<bool>("female");
    QTest::addColumn<bool>("expected");

    const QDate mario(1980, 1, 1);
    const QDate maria(1975, 5, 5);
    QTest::newRow("valid") << "RSSMRA80A01H501U" << "Rossi" << "Mario" << mario << false << true;
    QTest::newRow("valid, 2 January") << "RSSMRA80A02H501Z" << "Rossi" << "Mario" << QDate(1980, 1, 2) << false << true;
    QTest::newRow("valid woman, day + 40") << "BNCMRA75E45H501C" << "Bianchi" << "Maria" << maria << true << true;
    QTest::newRow("valid Fo Ugo") << "FOXGUO90L15F205U" << "Fo" << "Ugo" << QDate(1990, 7, 15) << false << true;
    QTest::newRow("valid Gianfranco") << "VRDGFR65T31L219P" << "Verdi" << "Gianfranco" << QDate(1965, 12, 31) << false
                                      << true;
    QTest::newRow("valid with apostrophe and accent") << "DNGNCL01H09F839W" << "D'Angelo" << "Nicolò"
                                                      << QDate(2001, 6, 9) << false << true;
    QTest::newRow("valid woman born 1948") << "DLCNNA48P70A662G" << "De Luca" << "Anna" << QDate(1948, 9, 30) << true
                                           << true;
    QTest::newRow("valid short surname and name") << "REXVEA03R41G273E" << "Re" << "Eva" << QDate(2003, 10, 1) << true
                                                  << true;
    QTest::newRow("lower case") << "rssmra80a01h501u" << "Rossi" << "Mario" << mario << false << true;
    QTest::newRow("mixed case") << "RssMra80a01H501u" << "rossi" << "mario" << mario << false << true;

    QTest::newRow("letter O for digit 0") << "RSSMRA8OA01H501U" << "Rossi" << "Mario" << mario << false << false;
    QTest::newRow("digit in the place code letter") << "RSSMRA80A011501U" << "Rossi" << "Mario" << mario << false
                                                    << false;
    QTest::newRow("digit among the name letters") << "RSSMR080A01H501U" << "Rossi" << "Mario" << mario << false
                                                  << false;
    QTest::newRow("letter in the place digits") << "RSSMRA80A01H5O1U" << "Rossi" << "Mario" << mario << false << false;
    QTest::newRow("too short") << "RSSMRA80A01H501" << "Rossi" << "Mario" << mario << false << false;
    QTest::newRow("wrong surname part") << "RSSMRA80A01H501U" << "Bianchi" << "Mario" << mario << false << false;
    QTest::newRow("wrong name part") << "RSSMRA80A01H501U" << "Rossi" << "Marco" << mario << false << false;
    QTest::newRow("wrong day") << "RSSMRA80A01H501U" << "Rossi" << "Mario" << QDate(1980, 1, 2) << false << false;
    QTest::newRow("man's code for a woman") << "RSSMRA80A01H501U" << "Rossi" << "Mario" << mario << true << false;
    QTest::newRow("woman born on the 5th with 05") << "BNCMRA75E05H501Y" << "Bianchi" << "Maria" << maria << true
                                                   << false;
    QTest::newRow("woman's code for a man") << "BNCMRA75E45H501C" << "Bianchi" << "Maria" << maria << false << false;
    QTest::newRow("wrong year") << "RSSMRA80A01H501U" << "Rossi" << "Mario" << QDate(1981, 1, 1) << false << false;
    QTest::newRow("wrong month letter") << "RSSMRA80A01H501U" << "Rossi" << "Mario" << QDate(1980, 2, 1) << false
                                        << false;
    QTest::newRow("wrong check character") << "RSSMRA80A01H501A" << "Rossi" << "Mario" << mario << false << false;
    QTest::newRow("digit outside the tables") << QString("RSSMRA80A01H5") + QChar(0x0660) + "1U" << "Rossi"
                                              << "Mario" << mario << false << false;
}

void FiscalCodeTest::matches()
{
    QFETCH(QString, cf);
    QFETCH(QString, surname);
    QFETCH(QString, name);
    QFETCH(QDate, birth);
    QFETCH(bool, female);
    QFETCH(bool, expected);
    QCOMPARE(fiscalCodeMatches(cf, surname, name, birth, female), expected);
}

void FiscalCodeTest::logsTheExpectedLetters()
{
    krntest::expectMessage(QtDebugMsg, "RSSMRA");
    krntest::expectMessage(QtDebugMsg, "OI");
    krntest::expectMessage(QtDebugMsg, "VERIFICA? <0 NON OK. >=0 OK rssmra80a01h501u 0");
    QVERIFY(fiscalCodeMatches("rssmra80a01h501u", "Rossi", "Mario", QDate(1980, 1, 1), false));

    krntest::expectMessage(QtDebugMsg, "BNCMRA");
    krntest::expectMessage(QtDebugMsg, "IAI");
    krntest::expectMessage(QtDebugMsg, "VERIFICA? <0 NON OK. >=0 OK RSSMRA80A01H501U -1");
    QVERIFY(!fiscalCodeMatches("RSSMRA80A01H501U", "Bianchi", "Mario", QDate(1980, 1, 1), false));
}

void FiscalCodeTest::composedCodesPass()
{
    QCOMPARE(composeFiscalCode("Rossi", "Mario", QDate(1980, 1, 1), false, "H501"), QString("RSSMRA80A01H501U"));
    QCOMPARE(composeFiscalCode("Bianchi", "Maria", QDate(1975, 5, 5), true, "h501"), QString("BNCMRA75E45H501C"));
    const QString code = composeFiscalCode("Esposito", "Gianfranco", QDate(2000, 2, 29), true, "F839");
    QVERIFY(fiscalCodeMatches(code, "Esposito", "Gianfranco", QDate(2000, 2, 29), true));
}

KRN_TEST_GUILESS_MAIN(FiscalCodeTest)
#include "tst_fiscalcode.moc"
