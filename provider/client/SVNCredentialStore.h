#pragma once

#include <QString>

/**
 * What the svn client stores in the user's own area
 * ($HOME/.subversion/auth): one file per realm and kind, named by the MD5
 * of the realm, holding the realm itself ("svn:realmstring"). Read and
 * changed here without running the client, so that exactly one realm's
 * entries are touched (the client's "auth --remove" matches substrings of
 * every kind of entry, certificate trust included).
 */
namespace SVNCredentialStore {

/**
 * Removes the stored user name and password of exactly `realm`
 * (svn.simple and svn.username); "" removes all of them. True also when
 * nothing was stored; false, with `problem` said, when a file could not be
 * removed.
 */
bool forget(const QString& realm, QString& problem);

/** Whether the trust of `realm`'s certificate ("https://host:443") is stored. */
bool trustStored(const QString& realm);

} // namespace SVNCredentialStore
