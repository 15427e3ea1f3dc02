#pragma once

#include <QWidget>

#include <functional>

class QPushButton;

// The window registry: every window of the program (MainForm, Form1, MsgForm,
// SetForm, OptionForm, IdPassForm) is a Form reached through its one FormRef,
// which the application owns and which makes the window with what it needs.
//
// Base of the six windows. A window is created by the first reference to it,
// which runs Form_Load without showing it; closing it with the close box
// unloads it (Form_Unload, then the window is destroyed).
class Form : public QWidget
{
    Q_OBJECT
public:
    Form();
    ~Form() override;

    // Runs once the window is created by its first reference, before it shows.
    virtual void Form_Load() {}
    // Runs when the window is unloaded (close box, OK, Cancel), before it is
    // destroyed; never when the process ends.
    virtual void Form_Unload() {}

    // Raises the window with the keyboard, in front of `from` where named
    // (see FormRef::Show).
    virtual void bringForward(QWidget* from);

    // A fixed window that cannot be minimised: a dialog, to assistive
    // technology; the others are frames. Either is named by its title.
    bool isDialog() const { return m_dialog; }

    // Set by the registry: unloads this window through its one reference.
    void setUnloader(std::function<void()> unloader) { m_unloader = std::move(unloader); }

protected:
    void closeEvent(QCloseEvent* event) override;
    // Enter presses the focused button, else the default button if there is one;
    // Esc presses the cancel button if there is one, else closes a window
    // that closes on Esc.
    void keyPressEvent(QKeyEvent* event) override;
    // Unloads this window through the registry (OK, Cancel, close box).
    void unloadSelf();
    // A fixed-size window whose client area is the given size in pixels.
    void setFixedClientSize(int width, int height);
    // A fixed single border: caption bar with close box (and minimize button
    // where asked), no maximize button, not resizable. Without a minimize
    // button the window is restored at once when a window manager minimises
    // it anyway.
    void useFixedSingleBorder(bool minimizeButton = false);
    // Esc closes (unloads) the window when it has no cancel button: the
    // dialogs and the result window, not the main or the flight window.
    void closeOnEscape() { m_closesOnEscape = true; }
    // Places the window in the middle of the primary screen.
    void centreOnScreen();

    QPushButton* m_defaultButton = nullptr;
    QPushButton* m_cancelButton = nullptr;

private:
    std::function<void()> m_unloader;
    bool m_closesOnEscape = false;
    bool m_dialog = false;
};

// The one process-wide instance of window F: created on reference, shown
// separately, unloaded on request; the next reference creates a fresh one.
// Destroying the reference discards the window without its unload handler.
template <class F> class FormRef
{
public:
    // `make` creates the window, handing it what it works with.
    explicit FormRef(std::function<F*()> make) : m_make(std::move(make)) {}
    ~FormRef() { delete m_form; }
    FormRef(const FormRef&) = delete;
    FormRef& operator=(const FormRef&) = delete;

    // The window, loading it (hidden) when it does not exist.
    F& get()
    {
        if (!m_form) {
            m_form = m_make();
            m_form->setUnloader([this] { Unload(); });
            ++m_loadCount;
            m_form->Form_Load();
        }
        return *m_form;
    }
    F* operator->() { return &get(); }

    bool isLoaded() const { return m_form != nullptr; }
    // The window if it exists, without loading it.
    F* ifLoaded() const { return m_form; }
    // How many times the window has been loaded in this run.
    int loadCount() const { return m_loadCount; }

    // Shows the window, loading it first when needed, and brings it forward
    // with the keyboard: in front of `from`, the window it is opened from,
    // where one is named (a window manager then keeps it above that window,
    // even one that is always on top).
    void Show(QWidget* from = nullptr)
    {
        F& f = get();
        f.show();
        f.bringForward(from);
    }

    // Runs Form_Unload and destroys the window; nothing when it is not loaded.
    void Unload()
    {
        if (!m_form)
            return;
        F* f = m_form;
        f->setUnloader({});
        f->Form_Unload();
        m_form = nullptr;
        f->hide();
        f->deleteLater();
    }

private:
    std::function<F*()> m_make;
    F* m_form = nullptr;
    int m_loadCount = 0;
};
