#include "services/TelemetryCollector.h"

bool TelemetryCollector::isEURegion(const QLocale& locale)
{
    using T = QLocale::Territory;
    static const T regions[] = {
        // European Union
        T::Austria, T::Belgium, T::Bulgaria, T::Croatia, T::Cyprus, T::Czechia, T::Denmark, T::Estonia,
        T::Finland, T::France, T::Germany, T::Greece, T::Hungary, T::Ireland, T::Italy, T::Latvia, T::Lithuania,
        T::Luxembourg, T::Malta, T::Netherlands, T::Poland, T::Portugal, T::Romania, T::Slovakia, T::Slovenia,
        T::Spain, T::Sweden,
        // EEA, the United Kingdom and Switzerland
        T::Iceland, T::Liechtenstein, T::Norway, T::UnitedKingdom, T::Switzerland};
    const T territory = locale.territory();
    for (T t : regions) {
        if (t == territory) return true;
    }
    return false;
}
