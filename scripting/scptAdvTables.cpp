#include "scripting/scptAdvTables.h"

#include "scripting/mdlAdvTables.h"
#include "scripting/mdlScriptArgs.h"
#include "scripting/scptWindow.h"

TCustomTableScript::TCustomTableScript(TAdvTables& model, QObject* parent) : QObject(parent), m_model(model) {}

void TCustomTableScript::refresh() { m_model.refresh(); }

void TCustomTableScript::initialize() { m_model.initialize(); }

#define VEXOR_TEXT_MEMBER(Getter, Setter, field)                                                                       \
    QJSValue TCustomTableScript::Getter() const { return QJSValue(m_model.current().field); }                          \
    void TCustomTableScript::Setter(const QJSValue& v) { m_model.current().field = TWindowScript::text(v); }

#define VEXOR_NUMBER_MEMBER(Getter, Setter, field, Type)                                                               \
    double TCustomTableScript::Getter() const { return m_model.current().field; }                                      \
    void TCustomTableScript::Setter(double v)                                                                          \
    {                                                                                                                  \
        scriptGuard(this, [&] { m_model.current().field = scriptArg<Type>(v, #Getter); });                             \
    }

VEXOR_TEXT_MEMBER(Name, setName, name)
VEXOR_TEXT_MEMBER(Description, setDescription, description)
VEXOR_NUMBER_MEMBER(Height, setHeight, height, quint8)
VEXOR_NUMBER_MEMBER(Width, setWidth, width, quint8)
VEXOR_NUMBER_MEMBER(Address, setAddress, address, quint16)
VEXOR_NUMBER_MEMBER(dataType, setDataType, dataType, quint8)
VEXOR_NUMBER_MEMBER(graphMinX, setGraphMinX, graphMinX, qint32)
VEXOR_NUMBER_MEMBER(graphMaxX, setGraphMaxX, graphMaxX, qint32)
VEXOR_NUMBER_MEMBER(graphMinY, setGraphMinY, graphMinY, qint32)
VEXOR_NUMBER_MEMBER(graphMaxY, setGraphMaxY, graphMaxY, qint32)
VEXOR_NUMBER_MEMBER(fixedCols, setFixedCols, fixedCols, quint8)
VEXOR_NUMBER_MEMBER(fixedRows, setFixedRows, fixedRows, quint8)
VEXOR_NUMBER_MEMBER(fixedEditable, setFixedEditable, fixedEditable, quint8)

#undef VEXOR_TEXT_MEMBER
#undef VEXOR_NUMBER_MEMBER

void TCustomTableScript::setOnLoad(const QJSValue& v) { m_model.current().onLoad = TWindowScript::text(v); }

void TCustomTableScript::setOnGetValue(const QJSValue& v) { m_model.current().onGetValue = TWindowScript::text(v); }

void TCustomTableScript::setOnSetValue(const QJSValue& v) { m_model.current().onSetValue = TWindowScript::text(v); }

void TCustomTableScript::setOnUnload(const QJSValue& v) { m_model.current().onUnload = TWindowScript::text(v); }

QString TCustomTableScript::graphLabelX() const { return m_model.current().graphLabelX; }

void TCustomTableScript::setGraphLabelX(const QString& v) { m_model.current().graphLabelX = v; }

QString TCustomTableScript::graphLabelY() const { return m_model.current().graphLabelY; }

void TCustomTableScript::setGraphLabelY(const QString& v) { m_model.current().graphLabelY = v; }

double TCustomTableScript::showGraph() const { return m_model.current().showGraph ? 1 : 0; }

void TCustomTableScript::setShowGraph(double v)
{
    scriptGuard(this, [&] { m_model.current().showGraph = scriptArg<quint8>(v, "showGraph") != 0; });
}

QString TCustomTableScript::functions() const { return m_model.current().functions; }

void TCustomTableScript::setFunctions(const QString& v) { m_model.current().functions = v; }
