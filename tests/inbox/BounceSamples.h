#pragma once
// Delivery failure reports in the shapes servers send: the delivery status notification of
// RFC 3464 as Postfix writes it (permanent and delayed), Exim's and the older Gmail text forms,
// and Postfix's text form without a report.
#include <QByteArray>

namespace bounces {

inline QByteArray Dsn(const QByteArray& recipient, const QByteArray& action, const QByteArray& status,
                      const QByteArray& diagnostic)
{
    return "Return-Path: <>\r\n"
           "From: MAILER-DAEMON@mx.example.net (Mail Delivery System)\r\n"
           "Subject: Undelivered Mail Returned to Sender\r\n"
           "To: news@example.org\r\n"
           "Date: Mon, 7 Dec 2026 10:00:00 +0000\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: multipart/report; report-type=delivery-status;\r\n"
           "\tboundary=\"B1.1765101600/mx.example.net\"\r\n"
           "\r\n"
           "This is a MIME-encapsulated message.\r\n"
           "\r\n"
           "--B1.1765101600/mx.example.net\r\n"
           "Content-Description: Notification\r\n"
           "Content-Type: text/plain; charset=us-ascii\r\n"
           "\r\n"
           "This is the mail system at host mx.example.net.\r\n"
           "\r\n"
           "I'm sorry to have to inform you that your message could not\r\n"
           "be delivered to one or more recipients.\r\n"
           "\r\n"
           "<" + recipient + ">: " + diagnostic + "\r\n"
           "\r\n"
           "--B1.1765101600/mx.example.net\r\n"
           "Content-Description: Delivery report\r\n"
           "Content-Type: message/delivery-status\r\n"
           "\r\n"
           "Reporting-MTA: dns; mx.example.net\r\n"
           "X-Postfix-Queue-ID: 4Tq0Zx1y2z\r\n"
           "Arrival-Date: Mon,  7 Dec 2026 09:59:58 +0000 (UTC)\r\n"
           "\r\n"
           "Final-Recipient: rfc822; " + recipient + "\r\n"
           "Original-Recipient: rfc822;" + recipient + "\r\n"
           "Action: " + action + "\r\n"
           "Status: " + status + "\r\n"
           "Remote-MTA: dns; mail.example.com\r\n"
           "Diagnostic-Code: smtp; " + diagnostic + "\r\n"
           "\r\n"
           "--B1.1765101600/mx.example.net\r\n"
           "Content-Description: Undelivered Message Headers\r\n"
           "Content-Type: text/rfc822-headers\r\n"
           "\r\n"
           "From: news@example.org\r\n"
           "To: " + recipient + "\r\n"
           "Subject: December news\r\n"
           "\r\n"
           "--B1.1765101600/mx.example.net--\r\n";
}

inline QByteArray Exim(const QByteArray& recipient)
{
    return "From: Mail Delivery System <Mailer-Daemon@mx.example.net>\r\n"
           "To: news@example.org\r\n"
           "Subject: Mail delivery failed: returning message to sender\r\n"
           "Date: Mon, 7 Dec 2026 10:00:00 +0000\r\n"
           "\r\n"
           "This message was created automatically by mail delivery software.\r\n"
           "\r\n"
           "A message that you sent could not be delivered to one or more of its\r\n"
           "recipients. This is a permanent error. The following address(es) failed:\r\n"
           "\r\n"
           "  " + recipient + "\r\n"
           "    host mail.example.com [192.0.2.25]\r\n"
           "    SMTP error from remote mail server after RCPT TO:<" + recipient + ">:\r\n"
           "    550 5.1.1 <" + recipient + ">: Recipient address rejected: User unknown\r\n"
           "\r\n"
           "------ This is a copy of the message, including all the headers. ------\r\n"
           "\r\n"
           "From: news@example.org\r\n"
           "To: other@example.com\r\n"
           "Subject: December news\r\n";
}

inline QByteArray Gmail(const QByteArray& recipient)
{
    return "From: Mail Delivery Subsystem <mailer-daemon@googlemail.com>\r\n"
           "To: news@example.org\r\n"
           "Subject: Delivery Status Notification (Failure)\r\n"
           "\r\n"
           "Delivery to the following recipient failed permanently:\r\n"
           "\r\n"
           "     " + recipient + "\r\n"
           "\r\n"
           "Technical details of permanent failure:\r\n"
           "Google tried to deliver your message, but it was rejected by the server for the recipient\r\n"
           "domain example.com by mail.example.com. [192.0.2.25].\r\n"
           "\r\n"
           "The error that the other server returned was:\r\n"
           "550 5.2.1 The email account that you tried to reach is disabled.\r\n"
           "\r\n"
           "----- Original message -----\r\n"
           "\r\n"
           "To: someone.else@example.com\r\n";
}

inline QByteArray PostfixText(const QByteArray& recipient)
{
    return "From: MAILER-DAEMON (Mail Delivery System)\r\n"
           "To: news@example.org\r\n"
           "Subject: Undelivered Mail Returned to Sender\r\n"
           "\r\n"
           "This is the Postfix program at host mx.example.net.\r\n"
           "\r\n"
           "I'm sorry to have to inform you that your message could not\r\n"
           "be delivered to one or more recipients.\r\n"
           "\r\n"
           "<" + recipient + ">: host mail.example.com[192.0.2.25] said: 552 5.2.2\r\n"
           "    Mailbox full (in reply to RCPT TO command)\r\n"
           "\r\n"
           "--- Returned message follows ---\r\n"
           "To: not-this-one@example.com\r\n";
}

} // namespace bounces
