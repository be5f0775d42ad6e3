#pragma once

#include "lanserve/PageKit.h"
#include "lanserve/StaffSessions.h"

// Staff sign in with the counter's login password and get a session cookie; too many wrong tries lock
// the address out for a while.
class StaffSignIn {
public:
    explicit StaffSignIn(PageContext& context) : context_(context) {}

    // Name of the staff session cookie.
    static constexpr const char* kSessionCookie = "cjstaff";

    StaffSessions& sessions() { return sessions_; }
    // True when the request carries a live session given for the password stored now (its stamp).
    bool signedIn(const PageRequest& request, const QString& passwordStamp);
    // The stamp of the login password as stored now, read under the database lock.
    QString currentPasswordStamp();
    // The sign-in form's post: on the right password a new session and the page the phone wanted.
    PageResponse signIn(const PageRequest& request);
    // Ends the request's session and shows the sign-in form.
    PageResponse signOut(const PageRequest& request);
    // The sign-in form, with a message (may be empty) and the page to go on to.
    static PageResponse SignInPage(int status, const QString& message, const QString& next);
    // The page and query a shown page was asked with, to return to after signing in.
    static QString PageTarget(const PageRequest& request);

private:
    void raiseAlarm();

    PageContext& context_;
    StaffSessions sessions_;
};
