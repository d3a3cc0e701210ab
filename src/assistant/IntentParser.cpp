#include "assistant/IntentParser.h"

#include "assistant/AssistantServices.h"
#include "assistant/IntentActions.h"
#include "core/CFormat.h"
#include "monitoring/BatteryLevelSource.h"
#include "monitoring/MonitorState.h"
#include "optimisation/ProfileService.h"

#include <algorithm>

namespace {

#define VM_TABLE(name, ...)                                        \
    const QStringList& name()                                      \
    {                                                              \
        static const QStringList table = {__VA_ARGS__};            \
        return table;                                              \
    }

using L = QString;

VM_TABLE(heatWords, L("hot"), L("heat"), L("warm"), L("temperature"), L("temp"), L("thermal"), L("fan"),
         L("burning"), L("cooking"))
VM_TABLE(slownessWords, L("slow"), L("lag"), L("sluggish"), L("crawl"), L("freez"), L("stutter"), L("choppy"),
         L("beachball"), L("spinning"), L("bogged"), L("grinding"))
VM_TABLE(cpuWords, L("cpu"), L("using the most"), L("eating"), L("hogging"), L("heavy"), L("top process"),
         L("what's running"), L("whats running"), L("resource"))
VM_TABLE(memoryWords, L("memory"), L("ram"), L("pressure"), L("swap"))
VM_TABLE(diskWords, L("disk"), L("storage"), L("space"), L("full"), L("drive"), L("free space"))
VM_TABLE(batteryWords, L("battery"), L("charge"), L("power"), L("unplugged"))
VM_TABLE(healthWords, L("health"), L("status"), L("how's the computer"), L("hows the computer"),
         L("how is the computer"), L("how's the mac"), L("hows the mac"), L("how is the mac"),
         L("overall"), L("how am i doing"))
VM_TABLE(questionWords, L("what"), L("why"), L("how"), L("which"), L("who"), L("is my"), L("is the"), L("am i"),
         L("tell me"), L("show me"))
VM_TABLE(developerWords, L("coding"), L("code"), L("developer"), L("dev session"), L("long coding"), L("build"),
         L("compile"), L("xcode"))
VM_TABLE(gamingWords, L("gaming"), L("game"), L("fps"))
VM_TABLE(batterySaverWords, L("battery"), L("save power"), L("low power"), L("unplugged"))
VM_TABLE(creativeWords, L("creative"), L("video"), L("audio"), L("editing"), L("render"))
VM_TABLE(maxPerformanceWords, L("max performance"), L("full power"), L("all out"), L("fastest"))
VM_TABLE(balancedWords, L("balanced"), L("normal"), L("default"))
VM_TABLE(nonTargets, L("it"), L("that"), L("the mac"), L("the computer"), L("everything"))
VM_TABLE(identityPhrases, L("who are you"), L("what are you"), L("what model"), L("which model"), L("what ai"),
         L("which ai"), L("are you chatgpt"), L("are you claude"), L("are you gpt"), L("are you siri"),
         L("are you gemini"), L("what are you built on"), L("what powers you"), L("your model"))
VM_TABLE(capabilityPhrases, L("what can you do"), L("what can you help"), L("what can you assist"),
         L("what do you do"), L("how can you help"), L("what are you capable"), L("capabilities"), L("commands"),
         L("list commands"), L("help me"), L("what should i ask"), L("how do you work"))
VM_TABLE(greetingPhrases, L("good morning"), L("good evening"), L("good afternoon"), L("hey tavrilon"),
         L("hi tavrilon"))
VM_TABLE(thanksPhrases, L("thank you"), L("thanks"), L("ty "), L("appreciate it"))

QString fixed(double value, int decimals) { return cformat("%.*f", decimals, value); }
QString percent(double value) { return fixed(value, 0) + QLatin1Char('%'); }
QString memorySize(double gigabytes) { return fixed(gigabytes, 1) + QStringLiteral(" GB"); }

constexpr double kGiB = 1073741824.0;

QString identityReply()
{
    return QStringLiteral(
        "I\u2019m Veltranmoor \u2014 your computer\u2019s performance tavrilon, built by Corvanne. I run privately on "
        "this computer: on your own API key / local Ollama if you set one up. I never send your data to us. Ask me "
        "to free up space, cool things down, optimize for a task, or tell you what\u2019s hot.");
}

QString capabilityReply()
{
    return QStringLiteral(
        "Here\u2019s what I can do right now:\n"
        "\u2022 Free up disk space \u2014 \u201Cfree up 10GB\u201D, \u201Cclean up junk\u201D\n"
        "\u2022 Relieve memory / speed things up \u2014 \u201Cfree memory\u201D, \u201Cspeed up\u201D\n"
        "\u2022 Tell you what\u2019s hot \u2014 \u201Cwhat\u2019s hot\u201D, \u201Cwhy is it slow\u201D\n"
        "\u2022 Optimize for a task \u2014 \u201Coptimize for coding / gaming / battery / creative\u201D\n"
        "\u2022 Health & status \u2014 \u201Cstatus\u201D, \u201Chow\u2019s the computer\u201D\n"
        "\u2022 Stop a runaway app \u2014 \u201Cstop chrome\u201D (I\u2019ll confirm first)\n"
        "Just say it in plain English \u2014 I handle most things instantly and on-device.");
}

bool isVerbAtWordStart(const QString& line, qsizetype at) { return at == 0 || !line.at(at - 1).isLetterOrNumber(); }

}  // namespace

namespace IntentTables {
VM_TABLE(statusPhrases, L("status"), L("health"), L("how are you"), L("how's the computer"), L("how is the computer"),
         L("how's the mac"), L("how is the mac"),
         L("report"))
VM_TABLE(freeSpacePhrases, L("free up space"), L("clean up"), L("cleanup"), L("clean disk"), L("reclaim space"),
         L("free space"), L("more space"))
VM_TABLE(freeMemoryPhrases, L("free memory"), L("free up memory"), L("free ram"), L("speed up"), L("make it faster"),
         L("relieve memory"), L("memory pressure"))
VM_TABLE(dnsPhrases, L("flush dns"), L("clear dns"), L("dns cache"), L("reset dns"))
VM_TABLE(stopVerbs, L("stop "), L("kill "), L("quit "), L("force quit "), L("end "), L("shut down "))
}  // namespace IntentTables

#undef VM_TABLE

bool containsAny(const QString& line, const QStringList& table)
{
    return std::any_of(table.begin(), table.end(), [&](const QString& phrase) { return line.contains(phrase); });
}

QString formatProcessList(const QList<ProcessInfoItem>& processes, ProcessListStyle style)
{
    QStringList parts;
    for (const ProcessInfoItem& p : processes.mid(0, 3)) {
        QString figure;
        if (style == ProcessListStyle::cpu) {
            figure = percent(p.cpuUsage) + QStringLiteral(" CPU");
        } else {
            figure = p.memoryMB >= 1024 ? fixed(p.memoryMB / 1024, 1) + QStringLiteral(" GB")
                                        : fixed(p.memoryMB, 0) + QStringLiteral(" MB");
        }
        parts << p.name + QStringLiteral(" (") + figure + QLatin1Char(')');
    }
    return parts.join(QStringLiteral(", "));
}

std::optional<QString> answerQuestion(const QString& line, const AssistantServices& services)
{
    if (!line.contains(QLatin1Char('?')) && !containsAny(line, questionWords()) && !containsAny(line, heatWords()) &&
        !containsAny(line, slownessWords())) {
        return std::nullopt;
    }
    const PerformanceSnapshot snapshot = services.monitor.currentSnapshot();
    const qint64 score = services.monitor.currentHealth().score;
    const double cpu = snapshot.cpuUsage;
    const double memoryShare = snapshot.memoryTotal > 0 ? snapshot.memoryUsed / snapshot.memoryTotal * 100 : 0;
    const double diskShare = snapshot.diskTotal > 0 ? double(snapshot.diskUsed) / double(snapshot.diskTotal) * 100 : 0;
    QList<ProcessInfoItem> byCPU = snapshot.topProcesses;
    std::stable_sort(byCPU.begin(), byCPU.end(),
                     [](const ProcessInfoItem& a, const ProcessInfoItem& b) { return a.cpuUsage > b.cpuUsage; });
    QList<ProcessInfoItem> byMemory = snapshot.topProcesses;
    std::stable_sort(byMemory.begin(), byMemory.end(),
                     [](const ProcessInfoItem& a, const ProcessInfoItem& b) { return a.memoryMB > b.memoryMB; });
    const QString thermal = PerformanceSnapshot::rawValue(snapshot.thermalState);
    const bool memoryTight = snapshot.memoryTotal > 0 && memoryShare >= 80;
    const bool diskTight = snapshot.diskTotal > 0 && diskShare >= 90;

    if (containsAny(line, heatWords())) {
        QString text = snapshot.cpuTempC
                           ? QStringLiteral("CPU die is at ") + fixed(*snapshot.cpuTempC, 0) +
                                 QStringLiteral("\u00B0C and the thermal state is ") + thermal + QStringLiteral(". ")
                           : QStringLiteral("Thermal state is ") + thermal +
                                 QStringLiteral(" \u2014 this computer doesn't expose a readable die temperature, so "
                                                "I'm going off system pressure. ");
        text += QStringLiteral("CPU is at ") + percent(cpu) + QStringLiteral(". ");
        if (byCPU.isEmpty()) {
            text += QStringLiteral("Nothing is standing out right now.");
        } else {
            text += QStringLiteral("What's driving it: ") + formatProcessList(byCPU, ProcessListStyle::cpu) +
                    QLatin1Char('.');
            const ProcessInfoItem& top = byCPU.first();
            if (top.cpuUsage >= 25) {
                text += QLatin1Char(' ') + top.name + QStringLiteral(" is the main one \u2014 say \u201Cstop ") +
                        top.name.toLower() + QStringLiteral("\u201D and I'll confirm before doing anything.");
            }
        }
        return text;
    }
    if (containsAny(line, slownessWords())) {
        QStringList causes;
        if ((snapshot.memoryTotal > 0 && memoryShare >= 80) || snapshot.memoryPressure >= 70) {
            causes << QStringLiteral("memory is tight at ") + percent(memoryShare) + QStringLiteral(" used (") +
                          memorySize(snapshot.memoryUsed) + QStringLiteral(" of ") + memorySize(snapshot.memoryTotal) +
                          QLatin1Char(')');
        }
        if (diskTight) {
            causes << QStringLiteral("the disk is ") + percent(diskShare) +
                          QStringLiteral(" full, which slows Linux down on its own");
        }
        if (cpu >= 60) causes << QStringLiteral("CPU is busy at ") + percent(cpu);
        QString text = !causes.isEmpty()
                           ? QStringLiteral("Most likely: ") + causes.join(QStringLiteral("; ")) + QStringLiteral(". ")
                           : QStringLiteral("Nothing obvious \u2014 CPU ") + percent(cpu) + QStringLiteral(", memory ") +
                                 percent(memoryShare) + QStringLiteral(", disk ") + percent(diskShare) +
                                 QStringLiteral(" full, health ") + QString::number(score) + QStringLiteral("/100. ");
        if (!byCPU.isEmpty()) {
            text += QStringLiteral("Heaviest right now: ") + formatProcessList(byCPU, ProcessListStyle::cpu) +
                    QLatin1Char('.');
        }
        if (memoryTight) {
            text += QStringLiteral(" Say \u201Cfree memory\u201D and I'll relieve the pressure.");
        } else if (diskTight) {
            text += QStringLiteral(" Say \u201Cfree up space\u201D and I'll clear regenerable caches.");
        }
        return text;
    }
    if (containsAny(line, memoryWords())) {
        QString text = QStringLiteral("Memory is ") + memorySize(snapshot.memoryUsed) + QStringLiteral(" of ") +
                       memorySize(snapshot.memoryTotal) + QStringLiteral(" used \u2014 ") + percent(memoryShare) +
                       QStringLiteral(", pressure ") + percent(snapshot.memoryPressure) + QStringLiteral(". ");
        if (!byMemory.isEmpty()) {
            text += QStringLiteral("Biggest consumers: ") + formatProcessList(byMemory, ProcessListStyle::memory) +
                    QLatin1Char('.');
        }
        if (memoryTight) text += QStringLiteral(" Say \u201Cfree memory\u201D and I'll relieve it.");
        return text;
    }
    if (containsAny(line, diskWords())) {
        const double freeGB =
            snapshot.diskTotal > snapshot.diskUsed ? double(snapshot.diskTotal - snapshot.diskUsed) / kGiB : 0;
        QString text = QStringLiteral("Disk is ") + percent(diskShare) + QStringLiteral(" full \u2014 ") +
                       fixed(freeGB, 1) + QStringLiteral(" GB free of ") + fixed(double(snapshot.diskTotal) / kGiB, 0) +
                       QStringLiteral(" GB. ");
        text += diskTight ? QStringLiteral("That's tight enough to hurt performance. Say \u201Cfree up space\u201D and "
                                           "I'll clear caches and temporary files \u2014 nothing you'd miss.")
                          : QStringLiteral("You've got room.");
        return text;
    }
    if (containsAny(line, batteryWords())) {
        const int level = services.battery.batteryLevel();
        // A computer without a battery reports -1; "-1% and on battery" would be plainly false.
        if (level < 0) return QStringLiteral("No battery reading on this computer.");
        return QStringLiteral("Battery is at ") + QString::number(level) + QStringLiteral("% and ") +
               (services.battery.isCharging() ? QStringLiteral("charging") : QStringLiteral("on battery")) +
               QLatin1Char('.');
    }
    if (containsAny(line, cpuWords())) {
        return QStringLiteral("CPU is at ") + percent(cpu) + QStringLiteral(". ") +
               (byCPU.isEmpty() ? QStringLiteral("Nothing notable is running.")
                                : QStringLiteral("Top processes: ") + formatProcessList(byCPU, ProcessListStyle::cpu) +
                                      QLatin1Char('.'));
    }
    if (containsAny(line, healthWords())) {
        return QStringLiteral("Health is ") + QString::number(score) + QStringLiteral("/100 \u2014 CPU ") + percent(cpu) +
               QStringLiteral(", memory ") + percent(memoryShare) + QStringLiteral(", disk ") + percent(diskShare) +
               QStringLiteral(" full, thermals ") + thermal + QStringLiteral(". ") + QStringLiteral("Profile: ") +
               PerformanceModes::rawValue(services.profiles.activeProfile()) + QLatin1Char('.');
    }
    return std::nullopt;
}

std::optional<qint64> extractCleanRequest(const QString& line)
{
    if (!line.contains(QLatin1String("free")) && !line.contains(QLatin1String("clean")) &&
        !line.contains(QLatin1String("reclaim"))) {
        return std::nullopt;
    }
    QString digits;
    for (const QChar c : line) {
        if (c.isNumber()) {
            digits += c;
        } else if (!digits.isEmpty()) {
            break;
        }
    }
    if (digits.isEmpty()) return std::nullopt;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
    }
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok);
    if (!ok) return std::nullopt;
    return value;
}

std::optional<PerformanceMode> detectProfile(const QString& line)
{
    if (containsAny(line, developerWords())) return PerformanceMode::developer;
    if (containsAny(line, gamingWords())) return PerformanceMode::gaming;
    if (containsAny(line, batterySaverWords())) return PerformanceMode::batterySaver;
    if (containsAny(line, creativeWords())) return PerformanceMode::creativeWork;
    if (containsAny(line, maxPerformanceWords())) return PerformanceMode::maxPerformance;
    if (containsAny(line, balancedWords())) return PerformanceMode::balanced;
    return std::nullopt;
}

std::optional<QString> extractStopTarget(const QString& line)
{
    for (const QString& verb : IntentTables::stopVerbs()) {
        // The verb counts only as a whole word: "end " inside "send" is no request to stop.
        qsizetype at = line.indexOf(verb);
        while (at >= 0 && !isVerbAtWordStart(line, at)) at = line.indexOf(verb, at + 1);
        if (at < 0) continue;
        QString rest = line.mid(at + verb.size());
        qsizetype begin = 0;
        qsizetype end = rest.size();
        while (begin < end && (rest.at(begin) == QLatin1Char(' ') || rest.at(begin) == QLatin1Char('\t'))) ++begin;
        while (end > begin && (rest.at(end - 1) == QLatin1Char(' ') || rest.at(end - 1) == QLatin1Char('\t'))) --end;
        const QStringList pieces = rest.mid(begin, end - begin).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QString target = pieces.mid(0, 2).join(QLatin1Char(' '));
        if (!target.isEmpty() && !nonTargets().contains(target)) return target;
    }
    return std::nullopt;
}

std::optional<QString> smallTalk(const QString& line)
{
    static const QStringList greetings = {L("hi"), L("hey"), L("yo"), L("hello"), L("sup"), L("hiya")};
    if (containsAny(line, identityPhrases())) return identityReply();
    if (containsAny(line, capabilityPhrases()) || line == QLatin1String("help")) return capabilityReply();
    if (greetings.contains(line) || containsAny(line, greetingPhrases())) {
        return QStringLiteral("Tavrilon here. Want me to free up space, optimize for a session, or show you what\u2019s hot?");
    }
    if (containsAny(line, thanksPhrases()) || line == QLatin1String("ty")) {
        return QStringLiteral("Anytime. I\u2019m watching your computer \u2014 just say the word.");
    }
    return std::nullopt;
}

ParseResult parseIntent(const QString& text, const AssistantServices& services)
{
    const QString line = text.toLower().trimmed();
    if (line.isEmpty()) return {};
    if (containsAny(line, IntentTables::statusPhrases())) {
        return {makeStatusAction(services), QStringLiteral("Reading current machine status."), std::nullopt};
    }
    if (auto answer = answerQuestion(line, services)) return {std::nullopt, QString(), *answer};

    std::optional<qint64> size = extractCleanRequest(line);
    if (!size && containsAny(line, IntentTables::freeSpacePhrases())) size = 0;
    if (size) {
        const QString understood =
            *size < 1 ? QStringLiteral("Cleaning regenerable caches and junk.")
                      : QStringLiteral("Freeing up about ") + QString::number(*size) + QStringLiteral("GB of cache/junk.");
        return {makeCleanAction(*size, services), understood, std::nullopt};
    }
    if (containsAny(line, IntentTables::freeMemoryPhrases())) {
        return {makeMemoryReliefAction(), QStringLiteral("Requesting memory relief."), std::nullopt};
    }
    if (containsAny(line, IntentTables::dnsPhrases())) {
        return {makeDNSFlushAction(services), QStringLiteral("Flushing the DNS cache."), std::nullopt};
    }
    if (auto mode = detectProfile(line)) {
        return {makeProfileAction(*mode, services),
                QStringLiteral("Switching to the ") + PerformanceModes::rawValue(*mode) + QStringLiteral(" profile."),
                std::nullopt};
    }
    if (auto target = extractStopTarget(line)) {
        return {makeStopAction(*target, services),
                QStringLiteral("Stopping \u201C") + *target +
                    QStringLiteral("\u201D. This is irreversible \u2014 unsaved work in it is lost."),
                std::nullopt};
    }
    if (auto reply = smallTalk(line)) return {std::nullopt, QString(), *reply};
    return {};
}
