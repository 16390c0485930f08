// MQLineEdit: the dialog's line edit. Its cut never exposes a password: in
// password echo mode it does nothing; otherwise it moves the selection (the
// whole text when nothing is selected) to the clipboard.
//
// Exports: MQLineEdit.
#pragma once

#include <QLineEdit>

class MQLineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit MQLineEdit(QWidget *parent = nullptr);

public slots:
    /// Hides QLineEdit::cut, which is not virtual; the key and the context
    /// menu below are routed here.
    void cut();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
};
