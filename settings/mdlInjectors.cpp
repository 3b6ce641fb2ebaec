#include "settings/mdlInjectors.h"

#include <QFileInfo>
#include <cmath>

const QString TInjectorDefinitions::DefaultInjectorName =
    QStringLiteral("Honda Civic (92-00 EX/Si) 240cc (23lb) 12Ohm");

namespace {
constexpr quint8 VoltageBytes[TInjectorDefinitions::DeadTimePoints] = {0xFF, 0xA7, 0x93, 0x7E, 0x69, 0x54, 0x00};
constexpr double DeadTimeFactor = 0.2312;
} // namespace

bool TInjectorDefinitions::load(const QString& path, QString* error)
{
    m_exists = QFileInfo(path).isFile();
    return m_ini.load(path, error);
}

void TInjectorDefinitions::loadText(const QString& text)
{
    m_ini.setText(text);
    m_exists = true;
}

QStringList TInjectorDefinitions::names() const
{
    const QStringList sections = m_exists ? m_ini.sections() : QStringList();
    return sections.isEmpty() ? QStringList{DefaultInjectorName} : sections;
}

int TInjectorDefinitions::size(const QString& name) const
{
    if (!m_exists)
        return DefaultSize;
    const int v = m_ini.readInteger(name, QStringLiteral("Size"), DefaultSize);
    return v > 0 ? v : DefaultSize;
}

std::optional<QByteArray> TInjectorDefinitions::deadTimeBlock(const QString& name) const
{
    if (!m_exists)
        return std::nullopt;
    const auto offset = m_ini.value(name, QStringLiteral("Offset"));
    if (!offset)
        return std::nullopt;
    return deadTimeBlockFromText(*offset);
}

QByteArray TInjectorDefinitions::defaultDeadTimeBlock()
{
    static const unsigned char bytes[DeadTimeBlockSize] = {0xFF, 0x64, 0x00, 0xA7, 0x67, 0x00, 0x93,
                                                           0x94, 0x00, 0x7E, 0xC3, 0x00, 0x69, 0x54,
                                                           0x01, 0x54, 0x80, 0x02, 0x00, 0x80, 0x02};
    return QByteArray(reinterpret_cast<const char*>(bytes), DeadTimeBlockSize);
}

std::optional<QByteArray> TInjectorDefinitions::deadTimeBlockFromText(const QString& offset)
{
    const QStringList entries = offset.split(QLatin1Char(','));
    if (entries.size() != DeadTimePoints)
        return std::nullopt;
    int values[DeadTimePoints];
    for (int i = 0; i < DeadTimePoints; ++i) {
        const auto entry = TIniFile::parseInteger(entries.at(i));
        if (!entry)
            return defaultDeadTimeBlock();
        // nearbyint rounds half to even in the default rounding mode.
        const double v = std::nearbyint(*entry * DeadTimeFactor);
        if (v < 0.0 || v > 65535.0) // would wrap into a wildly wrong dead time
            return defaultDeadTimeBlock();
        values[i] = static_cast<int>(v);
    }
    QByteArray block;
    block.reserve(DeadTimeBlockSize);
    for (int k = 0; k < DeadTimePoints; ++k) {
        const int v = values[DeadTimePoints - 1 - k];
        block.append(static_cast<char>(VoltageBytes[k]));
        block.append(static_cast<char>(v & 0xFF));
        block.append(static_cast<char>((v >> 8) & 0xFF));
    }
    return block;
}
