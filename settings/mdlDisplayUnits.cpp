#include "settings/mdlDisplayUnits.h"

TViewUnits savedViewUnits(const TGeneralSettings& s)
{
    return TViewUnits{s.showAFR, s.showPsi, s.showMph, s.showFahrenheit};
}

void storeViewUnits(const TViewUnits& view, TGeneralSettings& s)
{
    s.showAFR = view.afr;
    s.showPsi = view.psi;
    s.showMph = view.mph;
    s.showFahrenheit = view.fahrenheit;
}

TDisplayUnits displayUnits(const TGeneralSettings& settings, const std::optional<TViewUnits>& view)
{
    const TViewUnits v = view.value_or(savedViewUnits(settings));
    TDisplayUnits u;
    u.afr = v.afr;
    u.psi = v.psi;
    u.mph = v.mph;
    u.fahrenheit = v.fahrenheit;
    u.atmospheric = settings.atmospheric;
    u.stoich = static_cast<float>(settings.stoichValue);
    return u;
}
