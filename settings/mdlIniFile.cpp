#include "settings/mdlIniFile.h"

#include "settings/mdlFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringDecoder>
#include <cmath>

TIniFile::TIniFile(const QString& fileName) { load(fileName); }

void TIniFile::clear()
{
    m_preamble.clear();
    m_sections.clear();
    m_sectionIndex.clear();
    m_eol = QStringLiteral("\n");
    m_bom = false;
    m_latin1 = false;
    m_modified = false;
}

bool TIniFile::load(const QString& fileName, QString* error)
{
    m_fileName = fileName;
    clear();
    QFile f(fileName);
    if (!f.exists())
        return true;
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Could not read '%1': %2").arg(fileName, f.errorString());
        return false;
    }
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        if (error)
            *error = QStringLiteral("Could not read '%1': %2").arg(fileName, f.errorString());
        return false;
    }
    const bool bom = bytes.startsWith("\xEF\xBB\xBF");
    if (bom)
        bytes.remove(0, 3);
    // Files written by older Windows tools are in a single-byte code page; take
    // them as Latin-1 rather than failing on their bytes.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    const bool latin1 = utf8.hasError();
    if (latin1)
        text = QString::fromLatin1(bytes);
    setText(text);
    m_bom = bom;
    m_latin1 = latin1;
    return true;
}

void TIniFile::setText(const QString& text)
{
    m_preamble.clear();
    m_sections.clear();
    const qsizetype firstBreak = text.indexOf(QLatin1Char('\n'));
    m_eol = (firstBreak > 0 && text.at(firstBreak - 1) == QLatin1Char('\r')) ? QStringLiteral("\r\n")
                                                                             : QStringLiteral("\n");
    QStringList rawLines = text.split(QLatin1Char('\n'));
    if (!rawLines.isEmpty() && rawLines.last().isEmpty())
        rawLines.removeLast(); // the break after the last line
    for (QString raw : rawLines) {
        if (raw.endsWith(QLatin1Char('\r')))
            raw.chop(1);
        const QString t = raw.trimmed();
        if (t.startsWith(QLatin1Char('['))) {
            qsizetype close = t.indexOf(QLatin1Char(']'));
            if (close < 0)
                close = t.size();
            m_sections.push_back(Section{t.mid(1, close - 1).trimmed(), raw, {}, {}});
            continue;
        }
        Line line{raw, {}, {}, false};
        const qsizetype eq = t.indexOf(QLatin1Char('='));
        if (!t.startsWith(QLatin1Char(';')) && eq > 0) {
            line.key = t.left(eq).trimmed();
            line.value = t.mid(eq + 1).trimmed();
            line.isKey = !line.key.isEmpty();
        }
        if (m_sections.empty())
            m_preamble.push_back(line);
        else
            m_sections.back().lines.push_back(line);
    }
    reindex();
    m_modified = false;
}

QString TIniFile::text() const
{
    QString out;
    for (const Line& l : m_preamble)
        out += l.text + m_eol;
    for (const Section& s : m_sections) {
        out += s.header + m_eol;
        for (const Line& l : s.lines)
            out += l.text + m_eol;
    }
    return out;
}

bool TIniFile::save(QString* error)
{
    const QString content = text();
    // A file read as UTF-8 stays UTF-8; a Latin-1 one changes only when it must.
    bool latin1 = false;
    QByteArray bytes = m_latin1 ? encodeLatin1OrUtf8(content, &latin1) : content.toUtf8();
    if (m_bom && !latin1)
        bytes.prepend("\xEF\xBB\xBF");

    QString reason = QStringLiteral("no file name");
    if (m_fileName.isEmpty() || !writeFileAtomic(m_fileName, bytes, &reason)) {
        if (error)
            *error = QStringLiteral("Could not save '%1': %2").arg(m_fileName, reason);
        return false;
    }
    m_modified = false;
    return true;
}

void TIniFile::indexSection(Section& s)
{
    s.keyIndex.clear();
    for (int i = 0; i < static_cast<int>(s.lines.size()); ++i) {
        const Line& l = s.lines[static_cast<size_t>(i)];
        if (l.isKey) {
            const QString k = fold(l.key);
            if (!s.keyIndex.contains(k))
                s.keyIndex.insert(k, i);
        }
    }
}

void TIniFile::reindex()
{
    m_sectionIndex.clear();
    for (int i = 0; i < static_cast<int>(m_sections.size()); ++i) {
        Section& s = m_sections[static_cast<size_t>(i)];
        indexSection(s);
        const QString k = fold(s.name);
        if (!m_sectionIndex.contains(k))
            m_sectionIndex.insert(k, i);
    }
}

const TIniFile::Section* TIniFile::findSection(const QString& name) const
{
    const auto it = m_sectionIndex.constFind(fold(name));
    return it == m_sectionIndex.cend() ? nullptr : &m_sections[static_cast<size_t>(*it)];
}

TIniFile::Section* TIniFile::findSection(const QString& name)
{
    const auto it = m_sectionIndex.constFind(fold(name));
    return it == m_sectionIndex.cend() ? nullptr : &m_sections[static_cast<size_t>(*it)];
}

const TIniFile::Line* TIniFile::findLine(const QString& section, const QString& key) const
{
    const Section* s = findSection(section);
    if (!s)
        return nullptr;
    const auto it = s->keyIndex.constFind(fold(key));
    return it == s->keyIndex.cend() ? nullptr : &s->lines[static_cast<size_t>(*it)];
}

QStringList TIniFile::sections() const
{
    QStringList out;
    for (int i = 0; i < static_cast<int>(m_sections.size()); ++i) {
        const Section& s = m_sections[static_cast<size_t>(i)];
        if (m_sectionIndex.value(fold(s.name), -1) == i)
            out << s.name;
    }
    return out;
}

bool TIniFile::sectionExists(const QString& section) const { return findSection(section) != nullptr; }

QStringList TIniFile::keys(const QString& section) const
{
    QStringList out;
    const Section* s = findSection(section);
    if (!s)
        return out;
    for (int i = 0; i < static_cast<int>(s->lines.size()); ++i) {
        const Line& l = s->lines[static_cast<size_t>(i)];
        if (l.isKey && s->keyIndex.value(fold(l.key), -1) == i)
            out << l.key;
    }
    return out;
}

bool TIniFile::valueExists(const QString& section, const QString& key) const
{
    return findLine(section, key) != nullptr;
}

std::optional<QString> TIniFile::value(const QString& section, const QString& key) const
{
    const Line* l = findLine(section, key);
    if (!l)
        return std::nullopt;
    return l->value;
}

QString TIniFile::readString(const QString& section, const QString& key, const QString& def) const
{
    return value(section, key).value_or(def);
}

std::optional<int> TIniFile::parseInteger(const QString& text)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return v;
}

std::optional<double> TIniFile::parseFloat(const QString& text)
{
    const QString t = text.trimmed();
    // Group separators are refused: "0,187" must never read as 187.
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    double v = c.toDouble(t, &ok);
    if (!ok && t.count(QLatin1Char(',')) == 1 && !t.contains(QLatin1Char('.'))) {
        // A file written under a locale with a decimal comma.
        QString dotted = t;
        dotted.replace(QLatin1Char(','), QLatin1Char('.'));
        v = c.toDouble(dotted, &ok);
    }
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

QString TIniFile::formatFloat(double value)
{
    if (value == 0.0)
        return QStringLiteral("0"); // also for -0
    // The shortest text that reads back to the same double: "14.7" stays
    // "14.7", and a computed value survives a save and load unchanged.
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

int TIniFile::readInteger(const QString& section, const QString& key, int def) const
{
    const auto v = value(section, key);
    if (!v)
        return def;
    return parseInteger(*v).value_or(def);
}

double TIniFile::readFloat(const QString& section, const QString& key, double def) const
{
    const auto v = value(section, key);
    if (!v)
        return def;
    return parseFloat(*v).value_or(def);
}

bool TIniFile::readBool(const QString& section, const QString& key, bool def) const
{
    return readInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::writeString(const QString& section, const QString& key, const QString& value)
{
    QString v = value;
    v.replace(QLatin1Char('\r'), QLatin1Char(' '));
    v.replace(QLatin1Char('\n'), QLatin1Char(' '));
    v = v.trimmed(); // what a later read returns anyway

    Section* s = findSection(section);
    if (!s) {
        // A new section goes at the end of the file, after a blank line.
        std::vector<Line>& last = m_sections.empty() ? m_preamble : m_sections.back().lines;
        const bool lastLineBlank = last.empty() ? m_sections.empty() // empty file, or a bare header
                                                : last.back().text.trimmed().isEmpty();
        if (!lastLineBlank)
            last.push_back(Line{});
        const QString name = section.trimmed();
        m_sections.push_back(Section{name, QLatin1Char('[') + name + QLatin1Char(']'), {}, {}});
        m_sectionIndex.insert(fold(name), static_cast<int>(m_sections.size()) - 1);
        s = &m_sections.back();
    }
    const auto it = s->keyIndex.constFind(fold(key));
    if (it != s->keyIndex.cend()) {
        Line& l = s->lines[static_cast<size_t>(*it)];
        if (l.value == v)
            return;
        l.value = v;
        l.text = l.key + QLatin1Char('=') + v;
    } else {
        // After the last non-blank line, so blank lines before the next section stay.
        size_t pos = s->lines.size();
        while (pos > 0 && s->lines[pos - 1].text.trimmed().isEmpty())
            --pos;
        const QString k = key.trimmed();
        s->lines.insert(s->lines.begin() + static_cast<std::ptrdiff_t>(pos),
                        Line{k + QLatin1Char('=') + v, k, v, true});
        s->keyIndex.insert(fold(k), static_cast<int>(pos));
    }
    m_modified = true;
}

void TIniFile::writeInteger(const QString& section, const QString& key, int value)
{
    writeString(section, key, QString::number(value));
}

void TIniFile::writeFloat(const QString& section, const QString& key, double value)
{
    writeString(section, key, formatFloat(value));
}

void TIniFile::writeBool(const QString& section, const QString& key, bool value)
{
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TIniFile::eraseKey(const QString& section, const QString& key)
{
    Section* s = findSection(section);
    if (!s)
        return;
    const auto it = s->keyIndex.constFind(fold(key));
    if (it == s->keyIndex.cend())
        return;
    s->lines.erase(s->lines.begin() + *it);
    indexSection(*s);
    m_modified = true;
}

void TIniFile::eraseSection(const QString& section)
{
    const QString k = fold(section);
    const auto before = m_sections.size();
    std::erase_if(m_sections, [&](const Section& s) { return fold(s.name) == k; });
    if (m_sections.size() != before) {
        reindex();
        m_modified = true;
    }
}
