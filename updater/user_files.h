#pragma once

#include <QString>

// Which names of the application folder a release may carry. The release
// tool and the updater ask the same two questions, so that what one refuses
// to publish the other refuses to install.
namespace UpdateManifest {

// A plain file name of the application folder: no folder part, not "." or
// "..", not hidden (the updater's own temporary files are), no control
// characters.
bool IsSafeName(const QString &name);

// Files that belong to the user or the publisher, not to a release: what the
// program, the book tool and the updater write for the user (the book and its
// backups, the window settings, the lock, the browser profile, the downloaded
// update description, the updater's log and its record of a replacement), the
// publisher's settings container with the user's last-news marker, pictures
// and skin, and the temporary files any of these leave when a write is cut
// short. Any case.
bool IsUserFile(const QString &name);

// The publisher's files among them, which an update made with the brand
// carries and replaces like the program's own: the settings container, the
// skin, the icon and the banners' pictures (bannerN.dat), in the exact case
// the program reads them. Replacing the container keeps the user's last-news
// marker (see UpdateJob); the user's own files are never among these.
bool IsBrandFile(const QString &name);

// What a release may name: a safe name that is not the user's, or one of the
// publisher's files.
bool IsReleaseFile(const QString &name);

} // namespace UpdateManifest
