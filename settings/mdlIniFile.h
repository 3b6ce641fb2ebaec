#pragma once

// INI files with the semantics of the Windows private-profile functions, which
// the settings, definition and calibration files were written for:
// - section and key names are case-insensitive; the first matching section and
//   the first matching key in it win (later duplicates are invisible);
// - a value is the raw text after the first '=' with surrounding blanks trimmed;
// - a missing key returns the caller's default, and so do integers and floats
//   that do not parse; a boolean is an integer other than 0;
// - writing a key replaces only its line, a new key goes at the end of its
//   section and a new section at the end of the file; every other line, comment
//   and the order are kept;
// - lines starting with ';' are comments.
// Changes are made in memory and written with save(), atomically: a failed save
// leaves the old file as it was. QSettings is not used: it escapes section names
// and reorders keys.

#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class TIniFile {
public:
    TIniFile() = default;
    // Reads the file; a missing file gives an empty INI (see load()).
    explicit TIniFile(const QString& fileName);

    // Reads the file and remembers its name for save(). A missing file is not an
    // error (the INI starts empty). An existing file that cannot be read returns
    // false with the reason in *error, and the INI starts empty.
    bool load(const QString& fileName, QString* error = nullptr);
    // Replaces the content with the given text (the file name is kept).
    void setText(const QString& text);
    [[nodiscard]] QString text() const;
    [[nodiscard]] const QString& fileName() const { return m_fileName; }
    void setFileName(const QString& fileName) { m_fileName = fileName; }

    // Writes the whole content to fileName() through a temporary file that
    // replaces the old one only when complete. On failure returns false with the
    // reason in *error; the old file is untouched.
    bool save(QString* error = nullptr);
    [[nodiscard]] bool isModified() const { return m_modified; }

    [[nodiscard]] QStringList sections() const; // distinct names, in file order
    [[nodiscard]] bool sectionExists(const QString& section) const;
    [[nodiscard]] QStringList keys(const QString& section) const; // visible keys, in file order
    [[nodiscard]] bool valueExists(const QString& section, const QString& key) const;
    [[nodiscard]] std::optional<QString> value(const QString& section, const QString& key) const;

    [[nodiscard]] QString readString(const QString& section, const QString& key, const QString& def) const;
    [[nodiscard]] int readInteger(const QString& section, const QString& key, int def) const;
    [[nodiscard]] double readFloat(const QString& section, const QString& key, double def) const;
    [[nodiscard]] bool readBool(const QString& section, const QString& key, bool def) const;

    // Line breaks in a written value would split it into new lines; they are
    // replaced by blanks.
    void writeString(const QString& section, const QString& key, const QString& value);
    void writeInteger(const QString& section, const QString& key, int value);
    // Shortest text that reads back to the same double ("0.25", "3", "14.7").
    void writeFloat(const QString& section, const QString& key, double value);
    void writeBool(const QString& section, const QString& key, bool value); // "1" / "0"

    void eraseKey(const QString& section, const QString& key);
    void eraseSection(const QString& section); // every section of that name

    // Parsing helpers with the INI rules, for values read as text first.
    [[nodiscard]] static std::optional<int> parseInteger(const QString& text);
    [[nodiscard]] static std::optional<double> parseFloat(const QString& text);
    [[nodiscard]] static QString formatFloat(double value);

private:
    struct Line {
        QString text;  // the line as written in the file
        QString key;   // trimmed key when this line is "key=value", else empty
        QString value; // trimmed value of a key line
        bool isKey = false;
    };
    struct Section {
        QString name;
        QString header; // the header line as written
        std::vector<Line> lines;
        QHash<QString, int> keyIndex; // folded key -> first line index
    };

    void clear();
    void reindex();
    static void indexSection(Section& s);
    [[nodiscard]] const Section* findSection(const QString& name) const;
    [[nodiscard]] Section* findSection(const QString& name);
    [[nodiscard]] const Line* findLine(const QString& section, const QString& key) const;
    static QString fold(const QString& name) { return name.trimmed().toCaseFolded(); }

    QString m_fileName;
    QString m_eol = QStringLiteral("\n");
    bool m_bom = false;
    bool m_latin1 = false;
    bool m_modified = false;
    std::vector<Line> m_preamble; // lines before the first section
    std::vector<Section> m_sections;
    QHash<QString, int> m_sectionIndex; // folded name -> first section with it
};
