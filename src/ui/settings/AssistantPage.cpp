#include "core/AppSettings.h"
#include "ui/dashboard/SymbolView.h"
#include "ui/settings/SettingsBlocks.h"
#include "ui/settings/SettingsPage.h"
#include "ui/settings/SettingsPages.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace SettingsStyle;

std::optional<QString> apiKeyProblem(const QString& key)
{
    for (QChar c : key) {
        const auto category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph) {
            return QStringLiteral("Not saved: the key contains a line break or another control character. Paste the key "
                                  "alone, on one line.");
        }
    }
    return std::nullopt;
}

namespace {

class AssistantPage : public SettingsPage {
public:
    AssistantPage(const SettingsEnvironment& env, SettingsViewState& state) : SettingsPage(env, state)
    {
        AppSettings& s = env.settings;
        rows()->addWidget(new SectionHeader(QStringLiteral("AI Assistant"),
                                            QStringLiteral("bubble.left.and.text.bubble.right")));

        auto* disclosure = new SettingsCard(10);
        auto* titleRow = new QWidget;
        auto* titleLine = new QHBoxLayout(titleRow);
        titleLine->setContentsMargins(0, 0, 0, 0);
        titleLine->setSpacing(8);
        auto* lock = new SymbolView(QStringLiteral("lock.shield"), 13, gold, titleRow);
        onRefresh([this, lock] { lock->setColor(accent()); });
        titleLine->addWidget(lock);
        titleLine->addWidget(makeText(QStringLiteral("Where your words go"), sysFont(13, QFont::DemiBold), Qt::white));
        titleLine->addStretch(1);
        disclosure->content()->addWidget(titleRow);
        disclosure->content()->addWidget(makeText(
            QStringLiteral("By default, everything stays on this computer \u2014 a local intent parser, and a local Ollama "
                           "server if you run one. The only way text leaves your machine is if you switch on your own API "
                           "key below, and then it goes to your account, billed to you. Veltranmoor never sends your text "
                           "through Corvanne's own AI accounts."),
            sysFont(11), gray, true));
        rows()->addWidget(disclosure);

        auto chatOn = [&s] { return s.aiChatEnabled(); };
        auto* local = new SettingsCard(16);
        local->content()->addWidget(toggleRow(QStringLiteral("aiChatEnabled"), QStringLiteral("Enable Assistant Chat"),
                                              QStringLiteral("Ask Veltranmoor questions in plain language and let it act "
                                                             "on your computer."),
                                              chatOn, [&s](bool on) { s.setAiChatEnabled(on); }));
        local->content()->addWidget(divider());
        QWidget* ollamaRow = toggleRow(QStringLiteral("ollamaEnabled"), QStringLiteral("Use Local Ollama"),
                                       QStringLiteral("Route the assistant through an Ollama server you run yourself. "
                                                      "Stays on your machine; nothing is billed."),
                                       [&s] { return s.ollamaEnabled(); }, [&s](bool on) { s.setOllamaEnabled(on); });
        enabledWhen(ollamaRow, chatOn);
        local->content()->addWidget(ollamaRow);
        auto* ollamaFields = new QWidget;
        ollamaFields->setObjectName(QStringLiteral("ollamaFields"));
        auto* ollamaColumn = new QVBoxLayout(ollamaFields);
        ollamaColumn->setContentsMargins(0, 0, 0, 0);
        ollamaColumn->setSpacing(8);
        QLineEdit* endpoint = nullptr;
        ollamaColumn->addWidget(labeledTextFieldRow(QStringLiteral("Endpoint"), QStringLiteral("http://127.0.0.1:11434"),
                                                    &endpoint));
        field(QStringLiteral("ollamaEndpoint"), endpoint, [&s] { return s.ollamaEndpoint(); },
              [&s](const QString& v) { s.setOllamaEndpoint(v); });
        QLineEdit* model = nullptr;
        ollamaColumn->addWidget(labeledTextFieldRow(QStringLiteral("Model"), QStringLiteral("llama3.2:3b"), &model));
        field(QStringLiteral("ollamaModel"), model, [&s] { return s.ollamaModel(); },
              [&s](const QString& v) { s.setOllamaModel(v); });
        visibleWhen(ollamaFields, [&s] { return s.ollamaEnabled() && s.aiChatEnabled(); });
        local->content()->addWidget(ollamaFields);
        rows()->addWidget(local);

        auto* own = new SettingsCard(16);
        QWidget* ownRow = toggleRow(QStringLiteral("byoKeyEnabled"), QStringLiteral("Use My Own API Key"),
                                    QStringLiteral("Send assistant requests to Anthropic or OpenAI using your key. This is "
                                                   "the one setting that sends text off your computer, and every request "
                                                   "is billed to your account, not ours."),
                                    [&s] { return s.byoKeyEnabled(); }, [&s](bool on) { s.setByoKeyEnabled(on); });
        enabledWhen(ownRow, chatOn);
        own->content()->addWidget(ownRow);
        auto* ownFields = new QWidget;
        ownFields->setObjectName(QStringLiteral("ownKeyFields"));
        auto* ownColumn = new QVBoxLayout(ownFields);
        ownColumn->setContentsMargins(0, 0, 0, 0);
        ownColumn->setSpacing(10);

        // Nothing is sent with the key until the user has read what goes where and accepted it.
        auto* consent = new QWidget;
        consent->setObjectName(QStringLiteral("ownKeyDisclosure"));
        auto* consentColumn = new QVBoxLayout(consent);
        consentColumn->setContentsMargins(0, 0, 0, 0);
        consentColumn->setSpacing(8);
        consentColumn->addWidget(makeText(QStringLiteral("Before your key is used"), sysFont(12, QFont::DemiBold),
                                          Qt::white, false, consent));
        consentColumn->addWidget(makeText(
            QStringLiteral("Every question the local parser cannot answer then goes, with the assistant's instructions "
                           "and a summary of this computer's current state (load, memory, disk, temperature and the "
                           "busiest processes by name), to the provider chosen below under your key, billed to your "
                           "account. Nothing is sent until you accept."),
            sysFont(11), gray, true, consent));
        auto* accept = new QPushButton(QStringLiteral("Accept and Use My Key"), consent);
        accept->setObjectName(QStringLiteral("acceptDisclosure"));
        connect(accept, &QPushButton::clicked, this, [this, &s] { write([&s] { s.setAiChatDisclosureAccepted(true); }); });
        auto* acceptRow = new QHBoxLayout;
        acceptRow->addWidget(accept);
        acceptRow->addStretch(1);
        consentColumn->addLayout(acceptRow);
        visibleWhen(consent, [&s] { return !s.aiChatDisclosureAccepted(); });
        ownColumn->addWidget(consent);
        ownColumn->addWidget(controlRow(
            makeText(QStringLiteral("Provider"), sysFont(11), gray),
            segmented(QStringLiteral("byoKeyProvider"), {QStringLiteral("Anthropic"), QStringLiteral("OpenAI")}, 190,
                      [&s] {
                          const QString p = s.byoKeyProvider();
                          return p == QLatin1String("anthropic") ? 0 : p == QLatin1String("openai") ? 1 : -1;
                      },
                      [&s](int i) { s.setByoKeyProvider(i == 1 ? QStringLiteral("openai") : QStringLiteral("anthropic")); })));
        QLineEdit* ownModel = nullptr;
        ownColumn->addWidget(labeledTextFieldRow(QStringLiteral("Model"), QStringLiteral("claude-opus-4-8"), &ownModel));
        field(QStringLiteral("byoKeyModel"), ownModel, [&s] { return s.byoKeyModel(); },
              [&s](const QString& v) { s.setByoKeyModel(v); });

        auto* keyBox = new QWidget;
        auto* keyColumn = new QVBoxLayout(keyBox);
        keyColumn->setContentsMargins(0, 0, 0, 0);
        keyColumn->setSpacing(4);
        keyColumn->addWidget(makeText(QStringLiteral("API Key"), sysFont(11), gray, false, keyBox));
        auto* key = new QLineEdit(keyBox);
        key->setObjectName(QStringLiteral("byoKeyValue"));
        // Masked on screen; a masked field also refuses copying and dragging its text out.
        key->setEchoMode(QLineEdit::Password);
        key->setPlaceholderText(QStringLiteral("sk-..."));
        key->setFont(mono(12));
        key->setContextMenuPolicy(Qt::NoContextMenu);
        keyColumn->addWidget(key);
        QLabel* keyError = makeText(QString(), sysFont(10), red, true, keyBox);
        keyError->setObjectName(QStringLiteral("apiKeyError"));
        keyError->hide();
        keyColumn->addWidget(keyError);
        connect(key, &QLineEdit::textEdited, this, [this, &s, key, keyError](const QString& typed) {
            if (refreshing()) return;
            if (const auto problem = apiKeyProblem(typed)) {
                // Nothing of a refused key is kept: the field goes back to what is stored.
                keyError->setText(*problem);
                keyError->show();
                key->setText(s.byoKeyValue());
                return;
            }
            keyError->hide();
            s.setByoKeyValue(typed);
        });
        onRefresh([key, &s] {
            const QString stored = s.byoKeyValue();
            if (key->text() != stored) key->setText(stored);
        });
        ownColumn->addWidget(keyBox);
        ownColumn->addWidget(toggleRow(QStringLiteral("aiChatPreferOwnKey"), QStringLiteral("Prefer My Key Over Local Models"),
                                       QStringLiteral("Use your key even when a local model could have answered."),
                                       [&s] { return s.aiChatPreferOwnKey(); },
                                       [&s](bool on) { s.setAiChatPreferOwnKey(on); }));
        visibleWhen(ownFields, [&s] { return s.byoKeyEnabled() && s.aiChatEnabled(); });
        own->content()->addWidget(ownFields);
        rows()->addWidget(own);
    }
};

}  // namespace

SettingsPage* makeAssistantPage(const SettingsEnvironment& env, SettingsViewState& state)
{
    return new AssistantPage(env, state);
}
