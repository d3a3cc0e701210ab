#pragma once

#include "actions/TavrilonAction.h"
#include "core/Models.h"
#include "optimisation/PerformanceMode.h"

#include <QString>
#include <QStringList>

#include <optional>

struct AssistantServices;

// The parser's answer, in one of three shapes: an action with its acknowledgement; a direct
// reply; or nothing, which sends the line to a language model.
struct ParseResult {
    std::optional<TavrilonAction> action;
    QString understood;
    std::optional<QString> directReply;

    bool isEmpty() const { return !action && !directReply; }
};

// Keyword matching, not language understanding: lower-case phrases tested as substrings of
// the lower-cased line, in a fixed order where the first hit wins. Reads the published
// measurements once per call and never changes the machine.
ParseResult parseIntent(const QString& text, const AssistantServices& services);

// The helpers below take the line already lower-cased and trimmed.
bool containsAny(const QString& line, const QStringList& table);
std::optional<QString> answerQuestion(const QString& line, const AssistantServices& services);
std::optional<qint64> extractCleanRequest(const QString& line);
std::optional<PerformanceMode> detectProfile(const QString& line);
std::optional<QString> extractStopTarget(const QString& line);
std::optional<QString> smallTalk(const QString& line);

enum class ProcessListStyle { cpu, memory };
QString formatProcessList(const QList<ProcessInfoItem>& processes, ProcessListStyle style);

namespace IntentTables {
const QStringList& statusPhrases();
const QStringList& freeSpacePhrases();
const QStringList& freeMemoryPhrases();
const QStringList& dnsPhrases();
const QStringList& stopVerbs();
}  // namespace IntentTables
