#include "services/DuplicateFinder.h"

#include "base/GraphemeCounter.h"
#include "base/PathText.h"
#include "core/ByteFormat.h"
#include "core/DiskScanner.h"
#include "core/PlaceMarks.h"
#include "platform/MountTable.h"
#include "platform/PathGate.h"
#include "services/DuplicateCompare.h"
#include "services/DuplicateFiles.h"
#include "services/DuplicateGated.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <span>

namespace tallymere::DuplicateFinder {

namespace {

using DuplicateFiles::Identity;

struct Candidate {
    const FileNode* node = nullptr;
    std::uint64_t sample = 0;
    Identity identity; // links stays 0 until the file was sampled
    bool isSampled() const { return identity.links > 0; }
};

// Runs body(state, i) for every i below n on up to one thread per processor, each thread with its
// own state from makeState(). Returns when every iteration has ended. Plain POSIX threads, as the
// scanner's: the search then runs no thread code of the C++ runtime's own. When the system
// refuses a thread, the others (at least the calling one) do its share.
template <class MakeState, class Body>
void parallelFor(std::size_t n, MakeState&& makeState, Body&& body) {
    if (n == 0) return;
    const std::size_t width = std::min<std::size_t>(n, static_cast<std::size_t>(DiskScanner::activeProcessors()));
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        auto state = makeState();
        for (std::size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < n;) body(state, i);
    };
    using Work = decltype(work);
    std::vector<pthread_t> workers;
    workers.reserve(width - 1);
    for (std::size_t w = 1; w < width; ++w) {
        pthread_t thread;
        const auto run = [](void* argument) -> void* {
            (*static_cast<Work*>(argument))();
            return nullptr;
        };
        if (::pthread_create(&thread, nullptr, run, &work) != 0) break;
        workers.push_back(thread);
    }
    work();
    for (pthread_t thread : workers) ::pthread_join(thread, nullptr);
}

std::string countText(std::size_t n) { return ByteFormat::count(static_cast<std::int64_t>(n)); }

using SetList = std::vector<std::unique_ptr<DuplicateCompare::SameSizeSet>>;

// Stage 1, equal logical sizes; nothing is read. The candidates stay in walk order, where the
// files of one folder are neighbours, for the sampling stage to open them folder by folder.
std::vector<Candidate> sameSizeCandidates(const FileNode& root, std::int64_t minSize) {
    // A copy in a Trash was thrown away: keeping it while the live copy goes would leave the
    // content nowhere but there.
    if (PlaceMarks::isInTrash(root)) return {};
    const auto isTrash = [](const FileNode& node) { return node.isTrash; };
    const auto qualifies = [minSize](const FileNode& node) { return !node.isSymlink && node.size >= minSize; };
    std::vector<std::int64_t> sizes;
    root.walk([&](const FileNode& node) {
        if (isTrash(node)) return false;
        if (node.isDirectory && !node.isPackage) return true;
        if (qualifies(node)) sizes.push_back(node.size);
        return false;
    });
    std::sort(sizes.begin(), sizes.end());
    std::vector<std::int64_t> shared; // sizes that two or more files have
    for (std::size_t i = 1; i < sizes.size(); ++i)
        if (sizes[i] == sizes[i - 1] && (shared.empty() || shared.back() != sizes[i])) shared.push_back(sizes[i]);
    sizes = {};
    std::vector<Candidate> candidates;
    root.walk([&](const FileNode& node) {
        if (isTrash(node)) return false;
        if (node.isDirectory && !node.isPackage) return true;
        if (qualifies(node) && std::binary_search(shared.begin(), shared.end(), node.size)) candidates.push_back({&node});
        return false;
    });
    return candidates;
}

// A size that few small files share is read by the sampling stage all at once, and its files are
// compared there and then: their sample is their whole content, so the comparison reads nothing
// more, and they are not opened a second time. At most this many bytes are held per worker.
constexpr std::size_t wholeBucketBytes = 256 * 1024;

// How the sampling stage takes the candidates.
struct SamplingPlan {
    std::vector<std::uint32_t> bySize;  // candidate indexes by size, walk order inside each size
    std::vector<std::uint32_t> singles; // sampled one by one, in walk order
    std::vector<std::pair<std::size_t, std::size_t>> wholeBuckets; // [first, last) of bySize, compared whole
    std::vector<bool> comparedWhole;    // per candidate
};

SamplingPlan planSampling(const std::vector<Candidate>& candidates) {
    const std::size_t n = candidates.size();
    SamplingPlan plan;
    plan.bySize.resize(n);
    for (std::size_t i = 0; i < n; ++i) plan.bySize[i] = static_cast<std::uint32_t>(i);
    std::stable_sort(plan.bySize.begin(), plan.bySize.end(), [&](std::uint32_t a, std::uint32_t b) {
        return candidates[a].node->size > candidates[b].node->size;
    });
    plan.comparedWhole.assign(n, false);
    for (std::size_t start = 0; start < n;) {
        const std::int64_t size = candidates[plan.bySize[start]].node->size;
        std::size_t end = start + 1;
        while (end < n && candidates[plan.bySize[end]].node->size == size) ++end;
        // Empty files have no sample and stay single, so they drop out like any file that gives none.
        if (size > 0 && size <= DuplicateFiles::sampleSpan &&
            static_cast<std::size_t>(size) * (end - start) <= wholeBucketBytes) {
            plan.wholeBuckets.emplace_back(start, end);
            for (std::size_t k = start; k < end; ++k) plan.comparedWhole[plan.bySize[k]] = true;
        }
        start = end;
    }
    for (std::size_t i = 0; i < n; ++i)
        if (!plan.comparedWhole[i]) plan.singles.push_back(static_cast<std::uint32_t>(i));
    return plan;
}

struct Sampler {
    std::unique_ptr<unsigned char[]> buffer = std::make_unique_for_overwrite<unsigned char[]>(DuplicateFiles::sampleBufferBytes);
    std::unique_ptr<unsigned char[]> bucket; // made on first use
    const FileNode* folder = nullptr;
    DuplicateFiles::Descriptor folderFd;
};

// Which candidates are read through the gate; empty when none is.
using Gated = std::vector<bool>;
bool isGated(const Gated& gated, std::size_t candidate) { return !gated.empty() && gated[candidate]; }

// The sample digest of one candidate, opened through its folder, which neighbours share; one that
// lies where a call may not answer is read through the gate. 0, or why it has none.
int sampleOne(Sampler& sampler, Candidate& candidate, bool gated) {
    const FileNode& node = *candidate.node;
    Identity identity;
    std::uint64_t sample = 0;
    const std::span<unsigned char> buffer{sampler.buffer.get(), DuplicateFiles::sampleBufferBytes};
    if (gated) {
        if (const int error = DuplicateGated::sample(node.path(), node.size, buffer, identity, sample)) return error;
        candidate.sample = sample;
        candidate.identity = identity;
        return 0;
    }
    DuplicateFiles::Descriptor fd;
    if (node.parent) {
        if (sampler.folder != node.parent) {
            sampler.folder = node.parent;
            sampler.folderFd = DuplicateFiles::openFolder(node.parent->path());
        }
        if (sampler.folderFd.isOpen())
            fd = DuplicateFiles::openCandidateAt(sampler.folderFd.get(), std::string(node.name()), node.size, identity);
    } else {
        fd = DuplicateFiles::openCandidate(node.path(), node.size, identity);
    }
    if (fd.isOpen() && DuplicateFiles::sample(fd.get(), node.size, buffer, sample)) {
        candidate.sample = sample;
        candidate.identity = identity;
    }
    return 0;
}

// Reads one small candidate whole into `bytes`, as the file it is while it is read; 0, or why not.
int readWhole(Candidate& candidate, bool gated, std::span<unsigned char> bytes, Identity& identity) {
    if (gated) {
        DuplicateGated::File file;
        int error = file.open(candidate.node->path(), candidate.node->size, identity, nullptr, bytes.size());
        if (!error) error = file.readExactly(bytes, 0);
        if (!error) error = file.checkUnchanged(identity);
        return error;
    }
    const DuplicateFiles::Descriptor fd =
        DuplicateFiles::openCandidate(candidate.node->path(), candidate.node->size, identity);
    // Bytes read while the file was being written are no content of it: the file must be as it was
    // opened once they are all in.
    const bool read =
        fd.isOpen() && DuplicateFiles::readExactly(fd.get(), bytes, 0) && DuplicateFiles::isUnchanged(fd.get(), identity);
    return read ? 0 : EIO;
}

// Reads every file of one small size whole and sorts them into contents; each candidate's
// `sample` becomes the index of the first candidate with its content.
void compareWhole(Sampler& sampler, std::span<const std::uint32_t> members, std::vector<Candidate>& candidates,
                  const Gated& gated, Progress& progress) {
    if (!sampler.bucket) sampler.bucket = std::make_unique_for_overwrite<unsigned char[]>(wholeBucketBytes);
    const auto size = static_cast<std::size_t>(candidates[members.front()].node->size);
    std::vector<std::size_t> contents; // positions in `members` of the first file of each content
    for (std::size_t p = 0; p < members.size(); ++p) {
        if (progress.cancelled()) return;
        Candidate& candidate = candidates[members[p]];
        unsigned char* bytes = sampler.bucket.get() + p * size;
        Identity identity;
        const int error = readWhole(candidate, isGated(gated, members[p]), {bytes, size}, identity);
        if (error == PathGate::notAnswering) progress.addUnanswered();
        if (!error) {
            candidate.identity = identity;
            auto same = std::find_if(contents.begin(), contents.end(), [&](std::size_t first) {
                return std::memcmp(bytes, sampler.bucket.get() + first * size, size) == 0;
            });
            if (same == contents.end()) same = contents.insert(contents.end(), p);
            candidate.sample = members[*same];
        }
        progress.addDone();
    }
}

// Stage 2: each candidate's sample digest, and which file its path leads to. Single candidates go
// in runs of neighbours, so a worker opens a folder once for all of its files in the run.
void sampleAll(std::vector<Candidate>& candidates, const SamplingPlan& plan, const Gated& gated, Progress& progress) {
    constexpr std::size_t run = 16;
    const std::size_t runs = (plan.singles.size() + run - 1) / run;
    parallelFor(runs + plan.wholeBuckets.size(), [] { return Sampler(); }, [&](Sampler& sampler, std::size_t u) {
        if (u >= runs) {
            const auto [first, last] = plan.wholeBuckets[u - runs];
            compareWhole(sampler, std::span(plan.bySize).subspan(first, last - first), candidates, gated, progress);
            return;
        }
        for (std::size_t k = u * run; k < std::min(plan.singles.size(), (u + 1) * run); ++k) {
            if (progress.cancelled()) return;
            const std::uint32_t i = plan.singles[k];
            if (sampleOne(sampler, candidates[i], isGated(gated, i)) == PathGate::notAnswering) progress.addUnanswered();
            progress.addDone();
        }
    });
}

struct SampleSets {
    SetList toCompare;                                         // to be compared byte for byte
    std::vector<std::vector<DuplicateCompare::File>> compared; // compared whole while sampling
};

// The sets of two or more files of one size and one sample, each file in walk order. Paths that
// lead to one file are that file once, under its shortest path (the one a group would keep): a
// hard link or a bind mount never makes a file its own copy.
SampleSets sampleSets(const std::vector<Candidate>& candidates, const SamplingPlan& plan, const Gated& gated,
                      GraphemeCounter& characters) {
    const std::size_t n = candidates.size();
    const std::vector<std::uint32_t>& bySize = plan.bySize;
    SampleSets sets;
    std::vector<std::size_t> order, members;
    for (std::size_t start = 0; start < n;) {
        const std::int64_t size = candidates[bySize[start]].node->size;
        std::size_t end = start + 1;
        while (end < n && candidates[bySize[end]].node->size == size) ++end;
        order.clear();
        for (std::size_t k = start; k < end; ++k)
            if (candidates[bySize[k]].isSampled()) order.push_back(bySize[k]);
        // By sample, then by file, so the paths of one file are neighbours.
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            const Candidate &x = candidates[a], &y = candidates[b];
            if (x.sample != y.sample) return x.sample < y.sample;
            if (x.identity.device != y.identity.device) return x.identity.device < y.identity.device;
            if (x.identity.inode != y.identity.inode) return x.identity.inode < y.identity.inode;
            return a < b;
        });
        for (std::size_t first = 0; first < order.size();) {
            std::size_t last = first + 1;
            while (last < order.size() && candidates[order[last]].sample == candidates[order[first]].sample) ++last;
            members.clear();
            for (std::size_t k = first; k < last && last - first > 1; ++k) {
                const std::size_t i = order[k];
                if (!members.empty() && candidates[members.back()].identity.isSameFile(candidates[i].identity)) {
                    const std::size_t held = members.back();
                    if (characters.count(candidates[i].node->path()) < characters.count(candidates[held].node->path()))
                        members.back() = i;
                    continue;
                }
                members.push_back(i);
            }
            if (members.size() > 1) {
                std::sort(members.begin(), members.end());
                std::vector<DuplicateCompare::File> files;
                files.reserve(members.size());
                for (std::size_t i : members) files.push_back({candidates[i].node, candidates[i].identity});
                std::vector<bool> setGated; // left empty while every file is read here
                if (std::any_of(members.begin(), members.end(), [&](std::size_t i) { return isGated(gated, i); }))
                    for (std::size_t i : members) setGated.push_back(isGated(gated, i));
                if (plan.comparedWhole[members.front()])
                    sets.compared.push_back(std::move(files));
                else
                    sets.toCompare.push_back(
                        std::make_unique<DuplicateCompare::SameSizeSet>(size, std::move(files), std::move(setGated)));
            }
            first = last;
        }
        start = end;
    }
    return sets;
}

// Stage 3: the sets compared byte for byte; which sets were compared to the end. Work comes in
// ranges of a set; every set's first range goes before any second one, largest sets first, so a
// difference early in a large file is found before its later ranges are read at all.
std::vector<bool> compareAll(SetList& sets, Progress& progress) {
    struct Task {
        std::size_t set;
        std::size_t range;
    };
    std::vector<Task> tasks;
    for (std::size_t s = 0; s < sets.size(); ++s)
        for (std::size_t r = 0; r < sets[s]->rangeCount(); ++r) tasks.push_back({s, r});
    const auto bytes = [&](std::size_t s) { return sets[s]->size() * static_cast<std::int64_t>(sets[s]->fileCount()); };
    std::stable_sort(tasks.begin(), tasks.end(), [&](const Task& a, const Task& b) {
        if (a.range != b.range) return a.range < b.range;
        return bytes(a.set) > bytes(b.set);
    });
    const auto abandoned = std::make_unique<std::atomic<bool>[]>(sets.size());
    const auto complete = std::make_unique<std::atomic<bool>[]>(sets.size());
    for (std::size_t s = 0; s < sets.size(); ++s) {
        abandoned[s].store(false);
        complete[s].store(false);
    }
    const std::function<bool()> stopped = [&progress] { return progress.cancelled(); };
    parallelFor(tasks.size(), [] { return DuplicateCompare::Scratch(); },
                [&](DuplicateCompare::Scratch& scratch, std::size_t t) {
                    const std::size_t s = tasks[t].set;
                    DuplicateCompare::SameSizeSet& set = *sets[s];
                    if (abandoned[s].load(std::memory_order_acquire) || progress.cancelled() ||
                        !set.compareRange(tasks[t].range, scratch, stopped))
                        abandoned[s].store(true, std::memory_order_release);
                    // The files of a set count as verified once its last range is done.
                    if (!set.finishRange() || abandoned[s].load(std::memory_order_acquire)) return;
                    complete[s].store(true, std::memory_order_relaxed);
                    for (std::size_t f = 0; f < set.fileCount(); ++f) progress.addDone();
                });
    std::vector<bool> result(sets.size());
    for (std::size_t s = 0; s < sets.size(); ++s) result[s] = complete[s].load(std::memory_order_relaxed);
    return result;
}

} // namespace

Standing standing(const std::string& path, const DuplicateFiles::Identity& identity, std::int64_t size) {
    const PathGate::Status now = PathGate::lstat(path);
    if (now.error == PathGate::notAnswering) return Standing::notAnswering;
    if (now.error || !S_ISREG(now.info.st_mode) || now.info.st_size != size) return Standing::changed;
    if (identity.device != 0 || identity.inode != 0)
        return DuplicateFiles::identityOf(now.info).isUnchanged(identity) ? Standing::asCompared : Standing::changed;
    // Nothing to tell the file by: it must at least be where the tree has it, through no link.
    const std::string folder = PathText::parent(path);
    const PathGate::Text real = PathGate::realPath(folder);
    if (real.error == PathGate::notAnswering) return Standing::notAnswering;
    return !real.error && real.text == folder ? Standing::asCompared : Standing::changed;
}

// A group of identical files, the shortest path (in user-perceived characters) first.
Group makeGroup(const std::shared_ptr<FileNode>& root, std::vector<const DuplicateCompare::File*> files,
                std::int64_t size, GraphemeCounter& characters) {
    std::vector<std::pair<std::size_t, const DuplicateCompare::File*>> byLength;
    byLength.reserve(files.size());
    for (const DuplicateCompare::File* file : files) byLength.emplace_back(characters.count(file->node->path()), file);
    std::stable_sort(byLength.begin(), byLength.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    Group group;
    group.size = size;
    group.files.reserve(byLength.size());
    group.identities.reserve(byLength.size());
    for (std::size_t k = 0; k < byLength.size(); ++k) {
        group.files.push_back(share(root, byLength[k].second->node));
        group.identities.push_back(byLength[k].second->identity);
        // Removing a name of a file that has another one frees nothing.
        if (k > 0 && byLength[k].second->identity.links <= 1) group.recoverable += size;
    }
    return group;
}

std::vector<Group> find(const std::shared_ptr<FileNode>& root, std::int64_t minSize, Progress& progress) {
    if (!root) return {};
    std::vector<Candidate> candidates = sameSizeCandidates(*root, minSize);
    if (candidates.empty() || progress.cancelled()) return {};

    progress.begin("Sampling " + countText(candidates.size()) + " candidates", static_cast<std::int64_t>(candidates.size()));
    Gated gated; // the candidates on mounts that may not answer, read through the gate
    if (DuplicateGated::Places places(*root, *MountTable::current()); places.any()) {
        gated.resize(candidates.size());
        for (std::size_t i = 0; i < candidates.size(); ++i) gated[i] = places.isGated(*candidates[i].node);
    }
    SamplingPlan plan = planSampling(candidates);
    sampleAll(candidates, plan, gated, progress);
    if (progress.cancelled()) return {};

    GraphemeCounter characters;
    SampleSets sets = sampleSets(candidates, plan, gated, characters);
    candidates = {};
    plan = {};
    gated = {};
    if ((sets.toCompare.empty() && sets.compared.empty()) || progress.cancelled()) return {};

    std::size_t m = 0;
    for (const auto& set : sets.toCompare) m += set->fileCount();
    for (const auto& files : sets.compared) m += files.size();
    progress.begin("Verifying " + countText(m) + " files", static_cast<std::int64_t>(m));
    for (const auto& files : sets.compared)
        for (std::size_t f = 0; f < files.size(); ++f) progress.addDone();
    const std::vector<bool> compared = compareAll(sets.toCompare, progress);
    for (const auto& set : sets.toCompare) progress.addUnanswered(static_cast<std::int64_t>(set->unanswered()));

    std::vector<Group> groups;
    for (const auto& files : sets.compared) {
        std::vector<const DuplicateCompare::File*> members;
        for (const auto& file : files) members.push_back(&file);
        groups.push_back(makeGroup(root, std::move(members), files.front().node->size, characters));
    }
    for (std::size_t s = 0; s < sets.toCompare.size(); ++s) {
        if (!compared[s]) continue;
        const DuplicateCompare::SameSizeSet& set = *sets.toCompare[s];
        for (const auto& identical : set.identical()) {
            std::vector<const DuplicateCompare::File*> members;
            for (std::size_t f : identical) members.push_back(&set.file(f));
            groups.push_back(makeGroup(root, std::move(members), set.size(), characters));
        }
    }
    std::stable_sort(groups.begin(), groups.end(), [](const Group& a, const Group& b) { return a.waste() > b.waste(); });
    return groups;
}

} // namespace tallymere::DuplicateFinder
