#include "store/FolderListings.h"

#include "store/StoreLayout.h"

#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>

void FolderListings::listAll(const QStringList& folders)
{
    struct Job
    {
        QString path;
        Listing listing;
    };
    std::vector<Job> jobs;
    jobs.reserve(size_t(folders.size()));
    for (const QString& folder : folders)
        jobs.push_back({normalizePath(folder), {}});
    // The waiting thread takes jobs too, so a full pool (or a call from one of its threads)
    // only makes this slower.
    QtConcurrent::blockingMap(jobs, [](Job& job) {
        job.listing.ok = zrplatform::list_folder(job.path, &job.listing.entries, &job.listing.mtime);
        std::sort(job.listing.entries.begin(), job.listing.entries.end(),
                  [](const zrplatform::FolderEntry& a, const zrplatform::FolderEntry& b) {
                      return nameLessThan(a.name, b.name);
                  });
    });
    for (Job& job : jobs)
        m_listings.emplace(job.path, std::move(job.listing));
}

const FolderListings::Listing* FolderListings::find(const QString& folder) const
{
    const auto it = m_listings.constFind(normalizePath(folder));
    return it == m_listings.constEnd() ? nullptr : &it.value();
}
