#pragma once
// modServiceAddress: where the Brivet service lives. A built-in address that a run may
// replace (a staging service, the local sandbox), and a certificate authority that a
// run may add to the ones wget trusts for it.
#include <QString>

// Scheme and host, no trailing slash: "https://www.brivet.example" unless replaced.
QString ServiceBaseAddress();
// The page for a new entry of our blog, sent as Referer with every upload.
QString EntryEditorAddress();
// Replaces the base address for this run. Takes an http or https address with a host
// (and optionally a port) and nothing after it; a trailing slash is refused, as is
// anything else, with a sentence in *error. Returns false and keeps the old address then.
bool SetServiceBaseAddress(const QString& url, QString* error);
// The service's certificate is signed by this extra authority (a PEM file), trusted
// for this run next to the system's ones; certificate checks stay on. Returns false
// with a sentence in *error when the file cannot be used.
bool SetExtraCACertificate(const QString& pemFile, QString* error);
// Bounds of every service request, so that no broken or hostile server can hold the
// program or fill the disk: the whole request may take ServiceTimeLimit seconds (300
// unless replaced; above 0), and an answer may hold ServiceReplySizeLimit bytes (16 MB,
// far more than any answer of the service).
int ServiceTimeLimit();
void SetServiceTimeLimit(int seconds);
int ServiceReplySizeLimit();
