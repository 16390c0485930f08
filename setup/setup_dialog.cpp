// The Setup dialog: layout and the OK, Cancel, Test and Help slots.
#include "setup/setup_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <cstring>
#include <memory>

#include "setup/driver_probe.h"
#include "setup/dsn_store.h"
#include "setup/mq_line_edit.h"

namespace {

constexpr const char *kPromptTitle = "Corvane Paypal ODBC Driver";

QString q(const std::string &s) {
    return QString::fromStdString(s);
}

QPushButton *button(const char *text, const char *tip) {
    auto *b = new QPushButton(QString::fromUtf8(text));
    if (tip) b->setToolTip(QString::fromUtf8(tip));
    return b;
}

// The help page named by the driver's "help_dir" in odbcinst.ini, if any.
QString help_file(const std::string &driver) {
    std::string dir;
    if (const Installer *in = installer()) {
        char buf[1024] = "";
        if (in->get_profile(driver.c_str(), "help_dir", "", buf, sizeof buf, "odbcinst.ini") > 0)
            dir = buf;
    }
    if (dir.empty()) return {};
    QString path = q(dir) + QStringLiteral("/odbc-paypal.html");
    return QFileInfo::exists(path) ? path : QString();
}

}  // namespace

Setup::Setup(DsnForm *form, SetupMode mode, DsnSettings *settings, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowContextHelpButtonHint),
      form_(form),
      mode_(mode),
      settings_(settings) {
    setObjectName(QStringLiteral("DSN Properties"));
    setWindowTitle(QString::fromUtf8(mode == SetupMode::kComplete ? kPromptTitle : kSetupTitle));
    auto *grid = new QFormLayout;
    for (int i = 0; i < kFieldCount; i++) {
        const DsnField &f = kDsnFields[i];
        QWidget *w;
        if (f.kind == FieldKind::kCheck) {
            auto *box = new QCheckBox;
            box->setObjectName(QStringLiteral("enable"));
            box->setChecked(form->checked[i]);
            w = box;
        } else {
            auto *edit = new MQLineEdit;
            edit->setObjectName(QStringLiteral("dsn"));
            edit->setMaxLength(static_cast<int>(kTextLimit));
            edit->setText(q(form->text[i]));
            if (f.password) edit->setEchoMode(QLineEdit::Password);
            if (i == kFieldQueryTimeout || i == kFieldMaxNum)
                edit->setValidator(new QIntValidator(0, 1000000000, edit));
            w = edit;
        }
        w->setToolTip(QString::fromUtf8(f.tip));
        w->setWhatsThis(QString::fromUtf8(f.tip));
        grid->addRow(QString::fromUtf8(f.label), w);
        if (QWidget *label = grid->labelForField(w)) label->setWhatsThis(QString::fromUtf8(f.tip));
        fields_[i] = w;
    }
    if (mode == SetupMode::kComplete) fields_[kFieldDsn]->setEnabled(false);

    QPushButton *ok = button("O&K", "Save changes and finish");
    QPushButton *cancel = button("&Cancel", "Exit without saving changes");
    QPushButton *help = button("&Help", nullptr);
    test_button_ = button("&Test", "Test connection");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &Setup::Ok);
    connect(cancel, &QPushButton::clicked, this, &Setup::Cancel);
    connect(help, &QPushButton::clicked, this, &Setup::about);
    connect(test_button_, &QPushButton::clicked, this, &Setup::Dsn_test);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton *b : {ok, cancel, help, test_button_}) buttons->addWidget(b);

    auto *top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addLayout(buttons);
    setMinimumWidth(460);
}

void Setup::try_slot(void (Setup::*body)()) {
    // Nothing may unwind into Qt's event loop or the host application.
    try {
        (this->*body)();
    } catch (const std::exception &e) {
        QMessageBox::warning(this, windowTitle(), QString::fromUtf8(e.what()));
    } catch (...) {
        QMessageBox::warning(this, windowTitle(), QStringLiteral("Unexpected failure"));
    }
}

void Setup::read_fields() {
    for (int i = 0; i < kFieldCount; i++) {
        if (auto *box = qobject_cast<QCheckBox *>(fields_[i]))
            form_->checked[i] = box->isChecked();
        else if (auto *edit = qobject_cast<QLineEdit *>(fields_[i]))
            form_->text[i] = edit->text().toStdString();
    }
    // Spaces around a name only make it hard to type in a connection string.
    QString dsn = q(form_->text[kFieldDsn]).trimmed();
    form_->text[kFieldDsn] = dsn.toStdString();
}

void Setup::Ok() {
    try_slot(&Setup::ok_body);
}

void Setup::ok_body() {
    read_fields();
    if (mode_ == SetupMode::kComplete) {
        if (settings_) form_into_settings(*form_, settings_);
        result_ = kSetupOk;
        QDialog::accept();
        return;
    }
    InstallerErrors errors;
    if (save_form(*form_, &errors)) {
        result_ = kSetupOk;
        QDialog::accept();
        return;
    }
    QString text = QStringLiteral("Unable to save the data source:");
    for (const InstallerError &e : errors) text += QStringLiteral("\n") + q(e.text);
    QMessageBox::warning(this, windowTitle(), text);
}

void Setup::Cancel() {
    result_ = kSetupCancel;
    QDialog::reject();
}

void Setup::reject() {
    Cancel();
}

void Setup::Dsn_test() {
    try_slot(&Setup::test_body);
}

void Setup::test_body() {
    test_button_->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct Restore {
        QPushButton *b;
        ~Restore() {
            QApplication::restoreOverrideCursor();
            b->setEnabled(true);
        }
    } restore{test_button_};

    std::string why;
    DriverTestFn driver_test =
        load_driver_test(form_->driver.empty() ? kDriverName : form_->driver, &why);
    if (!driver_test) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("Unable to load the driver: ") + q(why));
        return;
    }
    read_fields();
    auto s = std::make_unique<DsnSettings>();
    std::memset(s.get(), 0, sizeof *s);
    if (settings_) *s = *settings_;
    form_into_settings(*form_, s.get());
    dsn_set_text(s->base_url, form_->base_url);
    dsn_set_text(s->cert, form_->cert);
    char message[1024] = "";
    int r = driver_test(s.get(), message, sizeof message);
    message[sizeof message - 1] = '\0';
    explicit_bzero(s.get(), sizeof *s);  // it held the secrets
    QString text = QString::fromUtf8(message);
    if (r != 0)
        QMessageBox::warning(
            this, windowTitle(),
            text.isEmpty() ? QStringLiteral("Test failed - with no information") : text);
    else
        QMessageBox::information(this, windowTitle(), text);
}

void Setup::about() {
    try_slot(&Setup::about_body);
}

void Setup::about_body() {
    QString page = help_file(form_->driver.empty() ? kDriverName : form_->driver);
    if (!page.isEmpty() && QDesktopServices::openUrl(QUrl::fromLocalFile(page))) return;
    QString text = QStringLiteral("<p><b>%1</b></p><table>").arg(QString::fromUtf8(kSetupTitle));
    for (const DsnField &f : kDsnFields) {
        QString label =
            QString::fromUtf8(f.label).remove(QLatin1Char('&')).remove(QLatin1Char(':'));
        text += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>")
                    .arg(label.toHtmlEscaped(), QString::fromUtf8(f.tip).toHtmlEscaped());
    }
    text += QStringLiteral(
        "</table><p>Test connects with these settings and obtains an access token. "
        "Press Shift+F1 on a field for its description.</p>");
    QMessageBox box(QMessageBox::Information, QStringLiteral("Help"), text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::RichText);
    box.exec();
}
