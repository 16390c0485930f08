// MQLineEdit: cut that respects password echo.
#include "setup/mq_line_edit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>

MQLineEdit::MQLineEdit(QWidget *parent) : QLineEdit(parent) {}

void MQLineEdit::cut() {
    if (echoMode() != QLineEdit::Normal || isReadOnly()) return;
    if (!hasSelectedText()) selectAll();
    QString text = selectedText();
    if (text.isEmpty()) return;
    QApplication::clipboard()->setText(text);
    del();
}

void MQLineEdit::keyPressEvent(QKeyEvent *event) {
    if (event == QKeySequence::Cut) {
        cut();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void MQLineEdit::contextMenuEvent(QContextMenuEvent *event) {
    QPointer<QMenu> menu = createStandardContextMenu();
    // The standard menu names its actions; reroute its cut to ours.
    if (QAction *action = menu->findChild<QAction *>(QStringLiteral("edit-cut"))) {
        action->disconnect();
        action->setEnabled(echoMode() == QLineEdit::Normal && !isReadOnly() && !text().isEmpty());
        connect(action, &QAction::triggered, this, &MQLineEdit::cut);
    }
    menu->exec(event->globalPos());
    delete menu;
}
