#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>
#include <functional>
#include <vector>

class TRom;

// One named ROM setting as the command line, comparisons and exports see it:
// how to read it, how to write it (absent when read-only), and which image
// bytes it occupies (so a comparison can tell its bytes from unnamed ones).
struct TRomSettingItem {
    enum Type { Bool, Int, Real, Text };
    QString name;
    Type type;
    std::function<QVariant(const TRom&)> get;
    std::function<void(TRom&, double)> set;                   // empty for read-only items
    std::function<QList<QPair<int, int>>(const TRom&)> spans; // (address, length)
};

[[nodiscard]] const std::vector<TRomSettingItem>& romSettingItems();
[[nodiscard]] const TRomSettingItem* findRomSetting(const QString& name);
