// Build-time tool: turns a .ts file and the .qm that lrelease made of it into a C++ table
// (TranslationTable.h), or, with --check, lists the texts of .ts files that lack a translation.
#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QTextStream>
#include <QTranslator>
#include <QXmlStreamReader>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Text {
    QString context;
    QString source;
    bool finished = false;
    QString translation;
};

bool ReadTs(const QString& path, std::vector<Text>& texts) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s: cannot open\n", qPrintable(path));
        return false;
    }
    QXmlStreamReader xml(&file);
    QString context;
    Text text;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) {
            continue;
        }
        if (xml.name() == u"name") {
            context = xml.readElementText();
        } else if (xml.name() == u"message") {
            text = Text{context, {}, false, {}};
        } else if (xml.name() == u"source") {
            text.source = xml.readElementText();
        } else if (xml.name() == u"translation") {
            const QString type = xml.attributes().value(QStringLiteral("type")).toString();
            const bool obsolete = type == u"obsolete" || type == u"vanished";
            text.translation = xml.readElementText();
            text.finished = type.isEmpty() && !text.translation.isEmpty();
            if (!obsolete) {
                texts.push_back(text);
            }
        }
    }
    if (xml.hasError()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(xml.errorString()));
        return false;
    }
    return true;
}

// A C string literal of UTF-8 bytes, with octal escapes so that no byte runs into the next.
QByteArray Literal(const QString& text) {
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += c;
        } else if (byte >= 0x20 && byte < 0x7f) {
            out += c;
        } else {
            out += '\\';
            out += QByteArray::number(byte, 8).rightJustified(3, '0');
        }
    }
    return out + "\"";
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == u"--check") {
        int lacking = 0;
        for (int i = 2; i < args.size(); ++i) {
            std::vector<Text> texts;
            if (!ReadTs(args[i], texts)) {
                return 2;
            }
            for (const Text& text : texts) {
                if (!text.finished) {
                    ++lacking;
                    std::printf("%s: [%s] %s\n", qPrintable(args[i]), qPrintable(text.context),
                                qPrintable(text.source));
                }
            }
        }
        std::printf("%d text(s) lack a translation\n", lacking);
        return lacking == 0 ? 0 : 1;
    }
    if (args.size() != 5) {
        std::fprintf(stderr, "usage: %s TS QM OUTPUT.cpp SYMBOL | --check TS...\n", argv[0]);
        return 2;
    }
    std::vector<Text> texts;
    if (!ReadTs(args[1], texts)) {
        return 2;
    }
    QTranslator translator;
    if (!translator.load(args[2])) {
        std::fprintf(stderr, "%s: cannot load\n", qPrintable(args[2]));
        return 2;
    }
    std::vector<std::pair<QByteArray, QByteArray>> entries;
    for (const Text& text : texts) {
        const QString translated = translator.translate(text.context.toUtf8().constData(),
                                                        text.source.toUtf8().constData());
        if (!translated.isEmpty()) {
            entries.emplace_back(text.source.toUtf8(), translated.toUtf8());
        }
    }
    std::sort(entries.begin(), entries.end());
    entries.erase(std::unique(entries.begin(), entries.end(),
                              [](const auto& a, const auto& b) { return a.first == b.first; }),
                  entries.end());
    QFile out(args[3]);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "%s: cannot write\n", qPrintable(args[3]));
        return 2;
    }
    QTextStream stream(&out);
    stream << "// Generated from " << args[1] << "; do not edit.\n"
           << "#include \"TranslationTable.h\"\n\nnamespace korvale {\nnamespace {\n"
           << "const TranslationEntry kEntries[] = {\n";
    for (const auto& [source, translation] : entries) {
        stream << "    {" << Literal(QString::fromUtf8(source)) << ",\n     "
               << Literal(QString::fromUtf8(translation)) << "},\n";
    }
    if (entries.empty()) {
        stream << "    {\"\", \"\"},\n";
    }
    stream << "};\n}  // namespace\n\nextern const TranslationTable " << args[4] << ";\n"
           << "const TranslationTable " << args[4] << "{kEntries, " << entries.size() << "};\n\n"
           << "}  // namespace korvale\n";
    return 0;
}
