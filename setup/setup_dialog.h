// Setup: the data-source dialog. Every field of the form with its label,
// tool tip and what's-this text; OK, Cancel, Help and Test.
//
// Opened by ConfigDSN (OK saves the data source to odbc.ini; a failed save
// is shown and the dialog stays open) or by dsn_complete_info (OK copies the
// fields into the caller's DsnSettings; the DSN field is read-only). No
// exception leaves a slot.
//
// Exports: Setup, SetupMode, kSetupOk, kSetupCancel, kSetupTitle.
#pragma once

#include <QDialog>
#include <array>

#include "setup/dsn_form.h"

class QPushButton;

enum class SetupMode { kConfigure, kComplete };

constexpr int kSetupOk = 0;
constexpr int kSetupCancel = 100;
constexpr const char *kSetupTitle = "Corvane Paypal ODBC Driver DSN Setup";

class Setup : public QDialog {
    Q_OBJECT
public:
    /// `form` and `settings` (kComplete only) outlive the dialog.
    Setup(DsnForm *form, SetupMode mode, DsnSettings *settings, QWidget *parent = nullptr);

    /// kSetupOk after OK, else kSetupCancel.
    [[nodiscard]] int result_code() const { return result_; }

public slots:
    void Ok();
    void Cancel();
    void Dsn_test();
    void about();

protected:
    void reject() override;  // Esc and the window's close button cancel

private:
    void read_fields();
    void try_slot(void (Setup::*body)());
    void ok_body();
    void test_body();
    void about_body();

    DsnForm *form_;
    SetupMode mode_;
    DsnSettings *settings_;
    std::array<QWidget *, kFieldCount> fields_{};
    QPushButton *test_button_ = nullptr;
    int result_ = kSetupCancel;
};
