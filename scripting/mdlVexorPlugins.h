#pragma once

// The plug-in command registry and the custom-table registry. Scripts fill
// them while they load (window.addPlugin, window.addCustomTable); every
// script reload empties them first. Records are copied in and out, in
// registration order; a second registration with equal fields is a second
// entry.

#include <QString>
#include <QVector>

// A plug-in command of the plug-in menu.
struct TCPlugin {
    QString caption;
    QString command; // expression evaluated when the command runs
    QString info;    // expression of the information command; may be empty
    QString author;
    quint8 category = 0; // 0 the plug-in menu itself, 1 to 4 its category submenus

    static constexpr quint8 MaxCategory = 4;
    friend bool operator==(const TCPlugin&, const TCPlugin&) = default;
};

// A custom table: a grid whose every cell a script reads and writes. The
// registration (window.addCustomTable) fills the first nine fields; the rest
// keep their defaults until the table's on-load function sets them on the
// current copy (scripts never change the registered record).
struct TCCustomTable {
    static constexpr quint8 DefaultFixedRows = 1;
    static constexpr quint8 DefaultDataType = 2;

    QString name;
    quint8 width = 0;
    quint8 height = 0;
    quint16 address = 0; // for the script's own use
    QString onLoad;      // function called when the table is selected
    QString onGetValue;  // function giving a cell's text: f(col, row)
    QString onSetValue;  // function storing an edited text: f(col, row, value)
    QString onUnload;    // stored only
    QString description;
    QString functions; // commands: caption|expression|caption|expression...
    quint8 fixedCols = 0;
    quint8 fixedRows = DefaultFixedRows;
    quint8 fixedEditable = 0;          // which header cells may be edited
    quint8 dataType = DefaultDataType; // for the script's own use
    qint32 graphMinX = 0;
    qint32 graphMaxX = 0;
    qint32 graphMinY = 0;
    qint32 graphMaxY = 0;
    QString graphLabelX;
    QString graphLabelY;
    bool showGraph = false;

    // What the window shows while no table is selected.
    [[nodiscard]] static TCCustomTable unknown();
    friend bool operator==(const TCCustomTable&, const TCCustomTable&) = default;
};

// The registries' one shape: a 16-bit count, records in registration order.
template <class Record>
class TCRegistry {
public:
    void add(const Record& record)
    {
        // The count is 16-bit: a full registry takes no more.
        if (m_items.size() < 0xFFFF)
            m_items.push_back(record);
    }
    void clear() { m_items.clear(); }
    [[nodiscard]] quint16 count() const { return static_cast<quint16>(m_items.size()); }
    // A copy of the record at index (0-based, below count()).
    [[nodiscard]] Record get(int index) const { return m_items.at(index); }
    [[nodiscard]] const QVector<Record>& items() const { return m_items; }

private:
    QVector<Record> m_items;
};

class TCPluginManager : public TCRegistry<TCPlugin> {
public:
    // The plug-in registration of the window object: a category above 4 is
    // stored as 0.
    void registerPlugin(const QString& author, const QString& caption, const QString& command, const QString& info,
                        quint8 category);
};

using TCTableManager = TCRegistry<TCCustomTable>;
