// A test robot for the Setup dialog: a library a test host loads before it
// calls into the setup library. Once a QApplication exists, a timer works
// through a script, one step per line, on whatever dialog is showing:
//
//   set TIP=VALUE   fill the field whose tool tip is TIP ("on"/"off" for check boxes)
//   press TEXT      click the button labelled TEXT (e.g. "O&K")
//   box             wait for a message box, print "BOX <icon>|<text>", close it
//   dump            print the dialog: title, name, every field and button
//   cut TIP         press the cut key in that field; print the field and the clipboard
//   shot PATH       save a picture of the dialog
//
// Everything is printed to stdout; a script stuck for 60 s prints
// "ROBOT TIMEOUT" and ends the process with status 3.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> steps;
size_t next_step = 0;
bool armed = false;
bool started = false;
QElapsedTimer clock_since_start;

void out(const QString &line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

QDialog *setup_dialog() {
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->objectName() == QLatin1String("DSN Properties"))
            return qobject_cast<QDialog *>(w);
    return nullptr;
}

QWidget *field_by_tip(QDialog *d, const QString &tip) {
    for (QWidget *w : d->findChildren<QWidget *>())
        if (w->toolTip() == tip && (qobject_cast<QLineEdit *>(w) || qobject_cast<QCheckBox *>(w)))
            return w;
    return nullptr;
}

QString value_of(QWidget *w) {
    if (auto *e = qobject_cast<QLineEdit *>(w)) return e->text();
    if (auto *c = qobject_cast<QCheckBox *>(w)) return QString(c->isChecked() ? "on" : "off");
    return {};
}

void dump(QDialog *d) {
    out(QStringLiteral("DIALOG %1|%2|%3")
            .arg(d->windowTitle(), d->objectName(), d->metaObject()->className()));
    auto *form = d->findChild<QFormLayout *>();
    for (int row = 0; form && row < form->rowCount(); row++) {
        auto *label = qobject_cast<QLabel *>(form->itemAt(row, QFormLayout::LabelRole)->widget());
        QWidget *w = form->itemAt(row, QFormLayout::FieldRole)->widget();
        auto *edit = qobject_cast<QLineEdit *>(w);
        QString echo = !edit                                     ? QStringLiteral("-")
                       : edit->echoMode() == QLineEdit::Password ? QStringLiteral("password")
                                                                 : QStringLiteral("normal");
        out(QStringLiteral("FIELD %1|%2|%3|%4|%5|%6|%7|%8|%9")
                .arg(label ? label->text() : QString(), w->metaObject()->className(),
                     w->objectName(), w->toolTip(), w->whatsThis(), value_of(w), echo,
                     QString(w->isEnabled() ? "enabled" : "disabled"),
                     QString(label && label->buddy() == w ? "buddy" : "nobuddy")));
    }
    for (QPushButton *b : d->findChildren<QPushButton *>())
        out(QStringLiteral("BUTTON %1|%2").arg(b->text(), b->toolTip()));
}

void tick() {
    if (next_step >= steps.size()) return;
    if (clock_since_start.elapsed() > 60000) {
        out(QStringLiteral("ROBOT TIMEOUT at: %1").arg(QString::fromStdString(steps[next_step])));
        std::_Exit(3);
    }
    QString step = QString::fromStdString(steps[next_step]);
    QString verb = step.section(' ', 0, 0);
    QString arg = step.section(' ', 1);
    QWidget *modal = QApplication::activeModalWidget();
    if (verb == "box") {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box) return;  // not yet
        next_step++;
        QString icon = QString(box->icon() == QMessageBox::Warning       ? "warning"
                               : box->icon() == QMessageBox::Information ? "information"
                                                                         : "other");
        out(QStringLiteral("BOX %1|%2").arg(icon, box->text().replace('\n', ' ')));
        if (QAbstractButton *b = box->defaultButton())
            b->click();
        else
            box->close();
        return;
    }
    QDialog *d = setup_dialog();
    if (!d || modal != d) return;  // the dialog is not up, or a box covers it
    next_step++;
    if (verb == "dump") {
        dump(d);
    } else if (verb == "set") {
        QString tip = arg.section('=', 0, 0), value = arg.section('=', 1);
        QWidget *w = field_by_tip(d, tip);
        if (auto *e = qobject_cast<QLineEdit *>(w))
            e->setText(value);
        else if (auto *c = qobject_cast<QCheckBox *>(w))
            c->setChecked(value == "on");
        out(QStringLiteral("SET %1 %2").arg(tip, QString(w ? "ok" : "missing")));
    } else if (verb == "cut") {
        QWidget *w = field_by_tip(d, arg);
        QApplication::clipboard()->setText(QStringLiteral("(before)"));
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::ControlModifier, QStringLiteral("\x18"));
        if (w) QApplication::sendEvent(w, &press);
        out(QStringLiteral("CUT %1|%2|%3")
                .arg(arg, w ? value_of(w) : QStringLiteral("missing"),
                     QApplication::clipboard()->text()));
    } else if (verb == "shot") {
        out(QStringLiteral("SHOT %1").arg(QString(d->grab().save(arg) ? "ok" : "failed")));
    } else if (verb == "press") {
        for (QPushButton *b : d->findChildren<QPushButton *>())
            if (b->text() == arg) {
                out(QStringLiteral("PRESS %1").arg(arg));
                // Clicked from its own event: a click may run a nested loop
                // (a message box), and Qt does not fire a timer again while
                // its handler is still running.
                QTimer::singleShot(0, b, &QPushButton::click);
                return;
            }
        out(QStringLiteral("PRESS %1 missing").arg(arg));
    } else {
        out(QStringLiteral("UNKNOWN STEP %1").arg(step));
    }
}

void start() {
    if (started || !armed || !QCoreApplication::instance()) return;
    started = true;
    clock_since_start.start();
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [] {
            auto *timer = new QTimer(QCoreApplication::instance());
            QObject::connect(timer, &QTimer::timeout, tick);
            timer->start(30);
        },
        Qt::QueuedConnection);
}

// Runs when the setup library creates its QApplication.
void on_application() {
    start();
}
Q_COREAPP_STARTUP_FUNCTION(on_application)

}  // namespace

extern "C" __attribute__((visibility("default"))) void robot_arm(const char *script) {
    std::ifstream in(script);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) steps.push_back(line);
    armed = true;
    start();
}
