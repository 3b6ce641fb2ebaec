#pragma once

// The custom table object of the script object model (`window.customTable`):
// every member acts on the current table of the advanced tables model, the
// copy the window shows (or the "Unknown" default), never on the registered
// record. A table's on-load function typically sets the header layout, the
// graph and the commands here before the table is drawn. The object holds no
// state of its own; every read of window.customTable gives a new one.
//
// Numbers arrive as double and are checked against the width the member
// declares; text members take any variant as its text. Writes show on the
// next refresh (the window's, or the script's own customTable.refresh()).

#include <QJSValue>
#include <QObject>
#include <QString>

class TAdvTables;

class TCustomTableScript : public QObject {
    Q_OBJECT
    Q_PROPERTY(QJSValue Name READ Name WRITE setName)
    Q_PROPERTY(double Height READ Height WRITE setHeight)
    Q_PROPERTY(double Width READ Width WRITE setWidth)
    Q_PROPERTY(double Address READ Address WRITE setAddress)
    // Write-only: reading gives undefined.
    Q_PROPERTY(QJSValue OnLoad READ writeOnly WRITE setOnLoad)
    Q_PROPERTY(QJSValue OnGetValue READ writeOnly WRITE setOnGetValue)
    Q_PROPERTY(QJSValue OnSetValue READ writeOnly WRITE setOnSetValue)
    Q_PROPERTY(QJSValue OnUnload READ writeOnly WRITE setOnUnload)
    Q_PROPERTY(double dataType READ dataType WRITE setDataType)
    Q_PROPERTY(double graphMinX READ graphMinX WRITE setGraphMinX)
    Q_PROPERTY(double graphMaxX READ graphMaxX WRITE setGraphMaxX)
    Q_PROPERTY(double graphMinY READ graphMinY WRITE setGraphMinY)
    Q_PROPERTY(double graphMaxY READ graphMaxY WRITE setGraphMaxY)
    Q_PROPERTY(QJSValue Description READ Description WRITE setDescription)
    Q_PROPERTY(double fixedCols READ fixedCols WRITE setFixedCols)
    Q_PROPERTY(double fixedRows READ fixedRows WRITE setFixedRows)
    Q_PROPERTY(double fixedEditable READ fixedEditable WRITE setFixedEditable)
    Q_PROPERTY(QString graphLabelX READ graphLabelX WRITE setGraphLabelX)
    Q_PROPERTY(QString graphLabelY READ graphLabelY WRITE setGraphLabelY)
    Q_PROPERTY(double showGraph READ showGraph WRITE setShowGraph)
    Q_PROPERTY(QString functions READ functions WRITE setFunctions)

public:
    explicit TCustomTableScript(TAdvTables& model, QObject* parent = nullptr);

    // Repaints grid and graph with the cells fetched again.
    Q_INVOKABLE void refresh();
    // Back to the "Unknown" default; the grid takes its size.
    Q_INVOKABLE void initialize();

    [[nodiscard]] QJSValue Name() const;
    void setName(const QJSValue& v);
    [[nodiscard]] double Height() const;
    void setHeight(double v);
    [[nodiscard]] double Width() const;
    void setWidth(double v);
    [[nodiscard]] double Address() const;
    void setAddress(double v);
    [[nodiscard]] QJSValue writeOnly() const { return {}; }
    void setOnLoad(const QJSValue& v);
    void setOnGetValue(const QJSValue& v);
    void setOnSetValue(const QJSValue& v);
    void setOnUnload(const QJSValue& v);
    [[nodiscard]] double dataType() const;
    void setDataType(double v);
    [[nodiscard]] double graphMinX() const;
    void setGraphMinX(double v);
    [[nodiscard]] double graphMaxX() const;
    void setGraphMaxX(double v);
    [[nodiscard]] double graphMinY() const;
    void setGraphMinY(double v);
    [[nodiscard]] double graphMaxY() const;
    void setGraphMaxY(double v);
    [[nodiscard]] QJSValue Description() const;
    void setDescription(const QJSValue& v);
    [[nodiscard]] double fixedCols() const;
    void setFixedCols(double v);
    [[nodiscard]] double fixedRows() const;
    void setFixedRows(double v);
    [[nodiscard]] double fixedEditable() const;
    void setFixedEditable(double v);
    [[nodiscard]] QString graphLabelX() const;
    void setGraphLabelX(const QString& v);
    [[nodiscard]] QString graphLabelY() const;
    void setGraphLabelY(const QString& v);
    [[nodiscard]] double showGraph() const;
    void setShowGraph(double v);
    [[nodiscard]] QString functions() const;
    void setFunctions(const QString& v);

private:
    TAdvTables& m_model;
};
