#pragma once

// What start-up needs of telemetry: the regional consent default, start, and the prompt.
class TelemetryService {
public:
    virtual ~TelemetryService() = default;
    virtual bool isEURegion() const = 0;
    // False when the region could not be told (it then counts as the EU/EEA).
    virtual bool regionKnown() const { return true; }
    virtual void start() = 0;
    virtual void presentConsentPrompt() = 0;
};
