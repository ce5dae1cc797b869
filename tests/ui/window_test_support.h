#pragma once

// Helpers for the window tests: a resolver that lets a test act while a run
// waits on it, an opener that records addresses, and a way to answer the
// modal message boxes the window shows.

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "core/resolver.h"
#include "support/scripted_resolver.h"
#include "ui/open_in_shell.h"

namespace ostrivane::testing {

// A ScriptedResolver that first calls a hook with every name it is asked.
class HookedResolver final : public Resolver {
  public:
    ScriptedResolver script;
    std::function<void(std::string_view name)> beforeAnswer;

    Resolution resolve(std::string_view name) override {
        if (beforeAnswer) {
            beforeAnswer(name);
        }
        return script.resolve(name);
    }
};

struct OpenedAddresses {
    std::vector<std::string> addresses;
    UrlOpener opener() {
        return [this](const std::string& address) { addresses.push_back(address); };
    }
};

// What a message box showed, and the buttons it offered.
struct SeenBox {
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QString defaultButton;
};

inline QString caption(const QAbstractButton* button) {
    return button == nullptr ? QString() : button->text().remove(QLatin1Char('&'));
}

// While it lives, waits (from the event loop) for the next modal message box,
// records it into `seen`, runs `whileShown`, then presses the button with the
// given caption (or closes the box when there is none).
class BoxAnswer {
  public:
    explicit BoxAnswer(QString buttonCaption, std::function<void()> whileShown = {})
        : m_caption(std::move(buttonCaption)), m_whileShown(std::move(whileShown)) {
        m_poll.setInterval(10);
        QObject::connect(&m_poll, &QTimer::timeout, &m_poll, [this] { answer(); });
        m_poll.start();
    }

    SeenBox seen;

  private:
    void answer() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        m_poll.stop();
        seen.seen = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        for (QAbstractButton* button : box->buttons()) {
            seen.buttons.append(caption(button));
        }
        seen.defaultButton = caption(box->defaultButton());
        if (m_whileShown) {
            m_whileShown();
        }
        for (QAbstractButton* button : box->buttons()) {
            if (caption(button) == m_caption) {
                button->click();
                return;
            }
        }
        box->reject();
    }

    QString m_caption;
    std::function<void()> m_whileShown;
    QTimer m_poll;
};

}  // namespace ostrivane::testing
