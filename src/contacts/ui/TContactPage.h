#pragma once

#include <QWidget>

class ContactManager;
class QLineEdit;
class TRbButton;
class TRbPanel;

// The contact page (TabSheet6): the group " Ajout d'un contact " with the
// pseudonym field txtAddPseudo and its default button "OK", which asks the
// member typed to become a contact through the contact manager. Showing the
// page puts the focus in the field; Enter in the field presses "OK" once.
class TContactPage : public QWidget
{
    Q_OBJECT

public:
    explicit TContactPage(ContactManager &contacts, QWidget *parent = nullptr);

    // Handlers.
    void TabSheet6Show();
    void btnPseudoOKClick();
    void txtAddPseudoKeyDown(int key);

private:
    ContactManager &m_contacts;
    TRbPanel *m_group = nullptr;
    QLineEdit *m_pseudo = nullptr;
    TRbButton *m_ok = nullptr;
};
