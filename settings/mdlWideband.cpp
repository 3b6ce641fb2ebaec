#include "settings/mdlWideband.h"

bool TWidebandDefinitions::load(const QString& path, QString* error) { return m_ini.load(path, error); }

void TWidebandDefinitions::loadText(const QString& text) { m_ini.setText(text); }

TLambdaPoints TWidebandDefinitions::points(const QString& name) const
{
    TLambdaPoints p{};
    for (size_t i = 0; i < p.size(); ++i) {
        p[i].voltage = m_ini.readFloat(name, QStringLiteral("volt%1").arg(i), 0.0);
        p[i].lambda = m_ini.readFloat(name, QStringLiteral("lambda%1").arg(i), 0.0);
    }
    return p;
}

TLambdaPoints TWidebandDefinitions::points(int index) const
{
    const QStringList n = names();
    if (index < 0 || index >= n.size())
        return TLambdaPoints{};
    return points(n.at(index));
}
