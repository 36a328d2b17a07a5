// The text lookup: English from the caller, German from the table in
// german.txt (compiled in as a resource), kept under 1000 + the text number.
#include "texts/lang_text.h"

#include <QFile>
#include <QHash>

QString CurrentLanguage = QStringLiteral("ENG");

namespace {

constexpr int kGermanBase = 1000;   // resource id of a German text = number + this

// "\r", "\n" and "\\" in the data file stand for CR, LF and a backslash.
QString unescape(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\\') || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar next = text.at(++i);
        if (next == QLatin1Char('r'))
            out += QLatin1Char('\r');
        else if (next == QLatin1Char('n'))
            out += QLatin1Char('\n');
        else
            out += next;
    }
    return out;
}

QHash<int, QString> loadGermanTable()
{
    QHash<int, QString> table;
    QFile file(QStringLiteral(":/texts/german.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return table;
    const QString all = QString::fromUtf8(file.readAll());
    for (const QString &line : all.split(QLatin1Char('\n'))) {
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        bool ok = false;
        const int number = line.left(tab).toInt(&ok);
        if (tab > 0 && ok)
            table.insert(kGermanBase + number, unescape(line.mid(tab + 1)));
    }
    return table;
}

} // namespace

// Registers the resource of the static core library; outside any namespace,
// as the macro requires.
static void initGermanResource() { Q_INIT_RESOURCE(german_texts); }

// The program's string resources by id; only the German ones exist.
static const QHash<int, QString> &stringResources()
{
    static const QHash<int, QString> table = [] {
        initGermanResource();
        return loadGermanTable();
    }();
    return table;
}

QString LangText(int id, const QString &english)
{
    if (CurrentLanguage == QLatin1String("ENG"))
        return english;
    const int resourceId = CurrentLanguage == QLatin1String("GER") ? kGermanBase + id : id;
    const QString text = stringResources().value(resourceId);
    return text.isEmpty() ? english : text;
}
