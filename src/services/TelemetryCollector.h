#pragma once

#include "services/TelemetryService.h"

#include <QLocale>

class AppSettings;

// Telemetry. The regional default is real; collecting and sending land later, so start and
// the consent prompt do nothing yet.
class TelemetryCollector final : public TelemetryService {
public:
    explicit TelemetryCollector(AppSettings& settings) : m_settings(settings) {}
    static TelemetryCollector& shared();

    // True in the EU/EEA, the United Kingdom and Switzerland.
    static bool isEURegion(const QLocale& locale);
    bool isEURegion() const override { return isEURegion(QLocale::system()); }
    void start() override {}
    void presentConsentPrompt() override {}

    AppSettings& settings() const { return m_settings; }

private:
    AppSettings& m_settings;
};
