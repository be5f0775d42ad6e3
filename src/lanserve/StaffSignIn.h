#pragma once

#include "lanserve/PageKit.h"
#include "lanserve/StaffSessions.h"

// Staff sign in with their 工号 and password and get a session cookie, and a device cookie that keeps
// the phone known to the server (see StaffSessions for how guessing is held back).
class StaffSignIn {
public:
    explicit StaffSignIn(PageContext& context);

    // Name of the staff session cookie, and of the device cookie.
    static constexpr const char* kSessionCookie = "cjstaff";
    static constexpr const char* kDeviceCookie = "cjdevice";
    // The file in the data folder that keeps the known phones across restarts.
    static constexpr const char* kGuardFile = "Lanserve.guard";

    StaffSessions& sessions() { return sessions_; }
    // True when the request carries a live session given for its account's password as stored now (the
    // stamps of the enabled accounts by 工号).
    bool signedIn(const PageRequest& request, const QHash<QString, QString>& passwordStamps);
    // The stamps of the enabled accounts' passwords as stored now, read under the database lock.
    QHash<QString, QString> currentPasswordStamps();
    // The 工号 the request's session signed in as; empty without one.
    QString staffOf(const PageRequest& request);
    // The sign-in form's post: on the right password a new session and the page the phone wanted.
    PageResponse signIn(const PageRequest& request);
    // Ends the request's session and shows the sign-in form.
    PageResponse signOut(const PageRequest& request);
    // The sign-in form, with a message (may be empty) and the page to go on to.
    static PageResponse SignInPage(int status, const QString& message, const QString& next);
    // The page and query a shown page was asked with, to return to after signing in.
    static QString PageTarget(const PageRequest& request);
    // "2 秒", "15 分钟", "96 小时": a wait as the sign-in page tells it.
    static QString WaitText(std::chrono::seconds wait);

private:
    void report(const StaffSessions::SignIn& result, const QString& peer);
    void raiseAlarm();
    void tellTheCounter();

    PageContext& context_;
    StaffSessions sessions_;
};
