// The text lookup: English from the caller, German from the compiled-in table,
// English again for any other language code and for a missing German text.
#include "texts/lang_text.h"

#include <QtTest>

class TestTexts : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { CurrentLanguage = QStringLiteral("ENG"); }

    void lookup_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ENG") << "ENG" << 35 << "Serial" << "Serial";
        QTest::newRow("GER") << "GER" << 35 << "Serial" << "Serieller Port";
        QTest::newRow("GER umlaut") << "GER" << 44 << "Flash Erase" << "Flash löschen";
        QTest::newRow("GER unused number") << "GER" << 5 << "x" << "VOID";
        QTest::newRow("GER new text 74") << "GER" << 74 << "Invalid Box-IP, please enter a valid one."
                                         << "Ungültige Box-IP. Bitte geben Sie eine gültige ein.";
        QTest::newRow("GER missing number") << "GER" << 75 << "fallback" << "fallback";
        QTest::newRow("GER number 0") << "GER" << 0 << "fallback" << "fallback";
        QTest::newRow("unknown code") << "FRA" << 35 << "Serial" << "Serial";
        QTest::newRow("lower-case ger") << "ger" << 35 << "Serial" << "Serial";
        QTest::newRow("empty code") << "" << 1 << "Connect" << "Connect";
    }
    void lookup()
    {
        QFETCH(QString, language);
        QFETCH(int, id);
        QFETCH(QString, english);
        CurrentLanguage = language;
        QTEST(LangText(id, english), "expected");
    }

    void everyNumberHasGerman()
    {
        CurrentLanguage = QStringLiteral("GER");
        for (int id = 1; id <= 74; ++id)
            QVERIFY2(LangText(id, QStringLiteral("<english>")) != QLatin1String("<english>"), qPrintable(QString::number(id)));
    }

    void printfPlaceholders_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ENG") << "ENG" << "approx. 03 minutes and 07 seconds left";
        QTest::newRow("GER") << "GER" << "Restzeit ca. 03 minuten und 07 sekunden";
    }
    void printfPlaceholders()
    {
        QFETCH(QString, language);
        CurrentLanguage = language;
        const QString format = LangText(57, QStringLiteral("approx. %2.2u minutes and %2.2u seconds left"));
        QTEST(QString::asprintf(format.toUtf8().constData(), 3u, 7u), "expected");
    }

    // Number 4: two line breaks and the box's address in both languages; the
    // German one keeps its blank before the second break and its umlaut.
    void warningAboutAForeignDevice()
    {
        const QString english = QStringLiteral("There is something alive with the ip %s\r\nin your network which is "
                                               "not a Morvabox.\r\nMorvaUP may not work properly.");
        CurrentLanguage = QStringLiteral("GER");
        const QString german = QString::asprintf(LangText(4, english).toUtf8().constData(), "10.0.0.2");
        QCOMPARE(german, QStringLiteral("Ein Gerät mit der IP 10.0.0.2 existiert bereits im Netzwerk.\n"
                                        "Dies ist keine Morvabox. \nMorvaUP wird evtl. nicht funktionieren."));
        CurrentLanguage = QStringLiteral("ENG");
        const QString text = QString::asprintf(LangText(4, english).toUtf8().constData(), "10.0.0.2");
        QCOMPARE(text.count(QStringLiteral("\r\n")), 2);
        QVERIFY(text.contains(QStringLiteral("ip 10.0.0.2\r\n")));
    }
};

QTEST_MAIN(TestTexts)
#include "test_texts.moc"
