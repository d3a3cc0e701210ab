#pragma once

// What start-up needs of telemetry: the regional consent default, start, and the prompt.
class TelemetryService {
public:
    virtual ~TelemetryService() = default;
    virtual bool isEURegion() const = 0;
    virtual void start() = 0;
    virtual void presentConsentPrompt() = 0;
};
