#pragma once

#include "panel/permission_hint.h"

#include <QObject>
#include <QVariantList>

namespace tillory::panel {

class MenuPanelController;

/// What the home page shows and does: the switches, the clipboard card's line, the one hint, the update row and
/// the footer. Made by the panel at each show. Main thread.
class HomePageModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QVariantList toggles READ toggles NOTIFY togglesChanged)
    Q_PROPERTY(int clipboardCount READ clipboardCount NOTIFY clipboardChanged)
    Q_PROPERTY(QString clipboardLine READ clipboardLine NOTIFY clipboardChanged)
    Q_PROPERTY(QString hintText READ hintText NOTIFY hintChanged)
    Q_PROPERTY(QString hintHelp READ hintHelp NOTIFY hintChanged)
    Q_PROPERTY(bool hintHasRetry READ hintHasRetry NOTIFY hintChanged)
    Q_PROPERTY(bool helpShown READ helpShown NOTIFY hintChanged)
    Q_PROPERTY(QString updateText READ updateText NOTIFY updateChanged)
    Q_PROPERTY(QString footerText READ footerText CONSTANT)

public:
    static inline const QString kEmptyHistory = QStringLiteral("History is empty");

    explicit HomePageModel(MenuPanelController& panel);

    /// Five rows, each {"title", "isOn"}, in the order of the switches card.
    QVariantList toggles() const;
    /// Writes through to the switch behind row `index`.
    Q_INVOKABLE void setToggle(int index, bool on);

    int clipboardCount() const;
    /// The newest entry on one line, or "History is empty".
    QString clipboardLine() const;

    PermissionHint hint() const { return hint_; }
    QString hintText() const { return hint_.text; }
    QString hintHelp() const { return hint_.help; }
    bool hintHasRetry() const { return hint_.hasRetry; }
    bool helpShown() const { return helpShown_; }
    /// "Open": runs the hint's request, if any, and shows what to do.
    Q_INVOKABLE void openHint();
    /// "Retry": the features try to take the keyboard again.
    Q_INVOKABLE void retryHint();

    /// "Tillory <version> is available", or empty.
    QString updateText() const;
    Q_INVOKABLE void getUpdate();
    /// "Tillory v<version>", or "Tillory" when the version is unknown.
    QString footerText() const;

    Q_INVOKABLE void openClipboard();
    /// Closes the panel first: the lock takes the whole keyboard and covers every screen.
    Q_INVOKABLE void startKeyboardCleaning();
    Q_INVOKABLE void showWhatsNew();
    Q_INVOKABLE void showShortcuts();
    Q_INVOKABLE void quit();

    /// Reads the permissions and held chords again.
    Q_INVOKABLE void refreshHint();

Q_SIGNALS:
    void togglesChanged();
    void clipboardChanged();
    void hintChanged();
    void updateChanged();

private:
    void closeThen(const std::function<void()>& action);

    MenuPanelController& panel_;
    PermissionHint hint_;
    bool helpShown_ = false;
};

} // namespace tillory::panel
