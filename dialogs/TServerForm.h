#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;
class MainViews;

// Where the shared tables are: a PostgreSQL server named by host, port, database and user
// (the password comes from libpq's password file or the server's own authentication).
// Checks the server and moves the tables of this computer's file onto an empty one.
class TServerForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(TServerForm)

public:
    explicit TServerForm(MainViews& views, QWidget* parent = nullptr);
    ~TServerForm() override;

    // The libpq connection string of the editors; empty fields are left to libpq's defaults.
    QString ConnectionString() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CheckButtonClick();
    void TransferButtonClick();
    void ShowStatus(const QString& text);

    MainViews& FViews;

    QLabel* HostLabel;
    QLineEdit* HostEdit;
    QLabel* PortLabel;
    QLineEdit* PortEdit;
    QLabel* DatabaseLabel;
    QLineEdit* DatabaseEdit;
    QLabel* UserLabel;
    QLineEdit* UserEdit;
    QLabel* StatusLabel;
    QPushButton* CheckButton;
    QPushButton* TransferButton;
    QPushButton* CloseButton;
};
