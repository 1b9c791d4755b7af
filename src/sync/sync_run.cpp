// The sync run: listing, fetching, deciding and writing, day by day.
#include "sync/sync_run.h"

#include <algorithm>
#include <deque>
#include <map>
#include <optional>
#include <set>

#include "diary/note_join.h"
#include "sync/day_plan.h"
#include "sync/sync_listing.h"
#include "sync/three_way.h"

namespace {

std::string LastSegment(std::string_view href) {
    while (!href.empty() && href.back() == '/') {
        href.remove_suffix(1);
    }
    return std::string(href.substr(href.rfind('/') + 1));
}

// The date of one of our own hrefs ("quillidar-day-20261208.ics"); nullopt for any other name.
std::optional<SyncDate> DateOfOwnHref(std::string_view href) {
    const std::string name = LastSegment(href);
    constexpr std::string_view prefix = "quillidar-day-";
    if (name.size() != prefix.size() + 12 || !name.starts_with(prefix) || !name.ends_with(".ics")) {
        return std::nullopt;
    }
    const std::optional<SyncDate> date = ParseCompactDate(std::string_view(name).substr(prefix.size(), 8));
    if (!date || HrefNameOfDay(*date) != name) {
        return std::nullopt;
    }
    return date;
}

// Emptying this many agreed days at once here is taken for a diary that was lost.
constexpr std::size_t kLostEverythingDays = 3;

// Entries fetched and taken in before the next ones are read.
constexpr std::size_t kFetchSlice = 500;

bool Stops(SyncStatus status) {
    return status != SyncStatus::kOk && status != SyncStatus::kTooLarge && status != SyncStatus::kConflict;
}

class Run {
  public:
    Run(CalDavClient& client, NoteMap& notes, SyncState& state, const SyncOptions& options)
        : m_client(client), m_notes(notes), m_state(state), m_options(options) {}

    SyncReport Go() {
        if (m_state.collection.empty()) {
            std::string collection;
            m_report.status = m_client.Discover(m_options.serverUrl, collection, m_options.collectionName);
            if (m_report.status != SyncStatus::kOk) {
                return m_report;
            }
            m_state = SyncState{};
            m_state.collection = collection;
        }
        Listing listing;
        SyncStatus status = List(listing);
        if (status == SyncStatus::kCollectionGone && !m_foundAgain) {
            // The collection went from the server: it is found again by its name, or made again, and
            // every day is compared afresh, so what the server lost is uploaded, never deleted here.
            m_foundAgain = true;
            m_state.collection.clear();
            return Go();
        }
        if (status != SyncStatus::kOk) {
            m_report.status = status;
            return m_report;
        }
        if (MadeAgain(listing)) {
            // Not the collection the agreed days were agreed with (deleted and made again, by this PC
            // or another): a day it lacks was lost there, not deleted, and the notes here are all
            // their own, whatever other clients' entries they once showed. Both are forgotten at
            // once, before anything is read or written: a run cut after this point leaves a state
            // that says the same, where one that still named the entries shown would have the next
            // run take the words typed here for theirs.
            m_state.days.clear();
            m_state.foreign.clear();
        }
        if (!ReadChanges(listing)) {
            return m_report;
        }
        // Only its token is wanted from here on, not every member held through the notes' save.
        std::vector<MemberChange>().swap(listing.changes);
        if (LostEverything()) {
            // A side that holds none of several agreed days has lost them (a diary that did not load,
            // a collection deleted and made again), not deleted them one by one: the days are
            // compared afresh, which brings them back instead of deleting them on the other side.
            for (const auto& [date, day] : m_state.days) {
                m_remote.emplace(date, RemoteDay{day.base, day.etag, day.href, day.made}); // unchanged there
            }
            m_state.days.clear();
        }
        // The entries as the listing leaves them, beside those it found: the changes only are held
        // apart, so a run that changes nothing does not copy every other client's entry.
        m_oldByDay = IndexForeignByDay(m_state.foreign);
        m_newByDay = IndexForeignByDay(m_state.foreign, &m_foreignChanges);
        const bool reachedEnd = SyncDays();
        ForgetAgreementsMadeAnew();
        if (!reachedEnd) {
            return m_report; // neither the token nor the other clients' entries move on
        }
        // After a fetch cut short the days read are kept, and the token and the other clients'
        // entries stay for the rest: those are read again, with the days they show in.
        m_report.reachedEnd = !m_fetchCut;
        if (!m_fetchCut) {
            // Node by node, so no href is held twice.
            while (!m_foreignChanges.empty()) {
                auto change = m_foreignChanges.extract(m_foreignChanges.begin());
                if (change.mapped()) {
                    m_state.foreign.insert_or_assign(std::move(change.key()), std::move(*change.mapped()));
                } else {
                    m_state.foreign.erase(change.key());
                }
            }
        }
        if (m_report.status == SyncStatus::kOk || !Stops(m_report.status)) {
            m_state.token = listing.token;
            m_state.etagsOnly = m_state.etagsOnly || listing.etagsOnly;
        }
        return m_report;
    }

  private:
    // Every day, planned and carried out in order; false when a fault or a stop ends the run.
    bool SyncDays() {
        SyncStatus status = SyncStatus::kOk;
        for (const std::string& date : DaysToSee()) {
            if (m_fetchCut && !m_remote.count(date)) {
                continue; // what the server holds of it may not have been read yet
            }
            if (Stopped()) {
                RecordStatus(SyncStatus::kCut);
                return false; // the writes still waiting were never sent
            }
            status = SyncDay(*ParseCompactDate(date));
            if (status == SyncStatus::kOk && m_pending.size() >= kWritesAtOnce) {
                status = WritePending();
            }
            if (status != SyncStatus::kOk) {
                RecordStatus(status);
                if (Stops(status)) {
                    return false;
                }
            }
        }
        return !Stops(WritePending());
    }

    bool Stopped() const { return m_options.stop && m_options.stop->load(); }

    // The run's status: the first fault that stopped it, else the last day left out.
    void RecordStatus(SyncStatus status) {
        if (m_report.status == SyncStatus::kOk || Stops(status)) {
            m_report.status = status;
        }
    }

    // Sorts the listing into our days and other clients' resources, fetching what changed; its hrefs
    // become paths in place, pointed to, never copied whole beside it.
    bool ReadChanges(Listing& listing) {
        std::vector<const MemberChange*> toFetch;
        std::vector<std::string_view> listed;
        listed.reserve(listing.changes.size());
        for (MemberChange& change : listing.changes) {
            change.href = CalDavClient::PathOfUrl(change.href);
            const std::string& href = change.href;
            listed.push_back(href);
            const std::optional<SyncDate> own = DateOfOwnHref(href);
            if (change.removed) {
                Removed(href, own);
                continue;
            }
            const auto day = own ? m_state.days.find(CompactDate(*own)) : m_state.days.end();
            const auto foreign = m_state.foreign.find(href);
            const bool known = (day != m_state.days.end() && day->second.href == href &&
                                !change.etag.empty() && day->second.etag == change.etag) ||
                               (foreign != m_state.foreign.end() && !change.etag.empty() &&
                                foreign->second.etag == change.etag);
            if (!known) {
                toFetch.push_back(&change);
            }
        }
        std::sort(listed.begin(), listed.end());
        const auto isListed = [&](std::string_view href) {
            return std::binary_search(listed.begin(), listed.end(), href);
        };
        std::deque<MemberChange> forgotten; // where the members fetched point, kept in place
        if (!listing.complete) {
            // A day whose agreement was forgotten is read again whether or not it changed.
            for (const auto& [date, day] : m_state.days) {
                if (day.made == kForgottenMark && !day.href.empty() && !isListed(day.href)) {
                    toFetch.push_back(&forgotten.emplace_back(MemberChange{day.href, {}, false}));
                }
            }
        } else {
            // A member not listed is gone.
            for (const auto& [date, day] : m_state.days) {
                if (!day.href.empty() && !isListed(day.href)) {
                    Removed(day.href, ParseCompactDate(date));
                }
            }
            for (const auto& [href, resource] : m_state.foreign) {
                if (!isListed(href)) {
                    Removed(href, std::nullopt);
                }
            }
        }
        RereadUnshown(toFetch, forgotten);
        FetchInSlices(toFetch);
        return true;
    }

    // Another client's resource whose text, held by its sum, its day's note no longer shows (edited
    // or emptied here, or a diary that did not load) is read again, as the note is to show it.
    void RereadUnshown(std::vector<const MemberChange*>& toFetch, std::deque<MemberChange>& reread) {
        std::set<std::string_view> fetching;
        for (const MemberChange* change : toFetch) {
            fetching.insert(change->href);
        }
        for (const auto& [href, resource] : m_state.foreign) {
            if (fetching.count(href) || m_foreignChanges.count(href)) {
                continue;
            }
            for (const ForeignEntry& e : resource.entries) {
                if (e.HeldAsSum() && !ForeignTextIn(m_notes.FindNote(KeyOfSyncDate(e.date)), e)) {
                    toFetch.push_back(&reread.emplace_back(MemberChange{href, {}, false}));
                    break;
                }
            }
        }
    }

    // Read and taken in slices, so a big pull holds one slice's replies at a time, and a fetch cut
    // short still brings in every day read before the cut: the run goes on with those, and the
    // listing, not moved on, names the rest again next time.
    void FetchInSlices(const std::vector<const MemberChange*>& toFetch) {
        for (std::size_t at = 0; at < toFetch.size(); at += kFetchSlice) {
            if (Stopped()) {
                m_report.status = SyncStatus::kCut;
                m_fetchCut = true;
                break;
            }
            const std::vector<const MemberChange*> slice(
                toFetch.begin() + at, toFetch.begin() + std::min(toFetch.size(), at + kFetchSlice));
            std::vector<std::string> hrefs;
            for (const MemberChange* change : slice) {
                hrefs.push_back(change->href);
            }
            std::vector<FetchedEntry> fetched;
            const SyncStatus status = m_client.Fetch(m_state.collection, hrefs, fetched);
            for (FetchedEntry& entry : fetched) {
                if (entry.tooLarge && entry.etag.empty()) {
                    // The listing's, the last it gave the member: not asked for again unchanged.
                    const std::string href = CalDavClient::PathOfUrl(entry.href);
                    for (const MemberChange* c : slice) {
                        entry.etag = c->href == href ? c->etag : entry.etag;
                    }
                }
                Fetched(entry);
            }
            if (status != SyncStatus::kOk) {
                m_report.status = status;
                m_fetchCut = true;
                break;
            }
        }
    }

    // A diary without one of several agreed days is a diary that did not load (emptying one or two
    // notes is a choice).
    bool LostEverything() const {
        if (m_state.days.size() < kLostEverythingDays) {
            return false;
        }
        for (const auto& [date, day] : m_state.days) {
            if (!IsBlankNote(m_notes.FindNote(KeyOfSyncDate(*ParseCompactDate(date))))) {
                return false;
            }
        }
        return true;
    }

    SyncStatus List(Listing& listing) { return ListCollection(m_client, m_state, listing, m_doubted); }

    bool MadeAgain(const Listing& listing) const {
        return ListingOfAnotherCollection(m_state, listing, m_doubted);
    }

    void Removed(const std::string& href, std::optional<SyncDate> own) {
        if (own && m_state.days.count(CompactDate(*own)) && m_state.days[CompactDate(*own)].href == href) {
            m_remote[CompactDate(*own)] = RemoteDay{std::nullopt, {}, href, {}};
        } else if (m_state.foreign.count(href)) {
            m_foreignChanges[href] = std::nullopt;
        }
    }

    void Fetched(const FetchedEntry& entry) {
        const std::string href = CalDavClient::PathOfUrl(entry.href);
        const std::optional<SyncDate> own = DateOfOwnHref(href);
        if (entry.unreadable) {
            // Everything of it left as it was, and the token kept (a bad reply stops it moving on),
            // so the next run asks for it again; the other days go on.
            m_report.refused.push_back(href);
            RecordStatus(SyncStatus::kBadReply);
            if (own) {
                m_unreadable.insert(CompactDate(*own));
            }
            return;
        }
        if (!entry.data && !entry.tooLarge) {
            Removed(href, own);
            return;
        }
        ResourceRead read;
        if (entry.tooLarge) {
            read.error = "too large";
        } else {
            read = ReadCalendarResource(*entry.data, m_options.localDateOf);
        }
        if (!read.error.empty()) {
            // Left as it is, never taken for a removal: its day keeps its note and its state.
            m_report.refused.push_back(href);
            RecordStatus(SyncStatus::kTooLarge);
            if (own) {
                m_unreadable.insert(CompactDate(*own));
            } else {
                m_foreignChanges[href] = ForeignResource{entry.etag, {}};
            }
            return;
        }
        ForeignResource foreign{entry.etag, {}};
        bool ownFound = false;
        for (ResourceEntry& e : read.entries) {
            if (own && e.ours && e.date == *own && !ownFound) {
                ownFound = true;
                m_remote[CompactDate(*own)] = RemoteDay{std::move(e.text), entry.etag, href,
                                                        e.newDay.empty() ? kNoDayMark : std::move(e.newDay)};
            } else if (!IsBlankNote(e.text)) {
                foreign.entries.push_back({e.date, std::move(e.text)});
            }
        }
        if (own && !ownFound) {
            Removed(href, own); // our name, but another client rewrote it as its own entry
        }
        if (!foreign.entries.empty() || !ownFound) {
            m_foreignChanges[href] = std::move(foreign);
        } else if (m_state.foreign.count(href)) {
            m_foreignChanges[href] = std::nullopt;
        }
    }

    // In order, each once: a flat list, which a hundred years of days fill without a node apiece.
    std::vector<std::string> DaysToSee() {
        std::vector<std::string> days;
        days.reserve(m_notes.size() + m_state.days.size());
        for (const NoteView note : m_notes) {
            const std::optional<SyncDate> date = SyncDateOfKey(note.m_strKey, m_options.pivot);
            if (date && KeyOfSyncDate(*date) == note.m_strKey) {
                days.push_back(CompactDate(*date));
            }
        }
        for (const auto& [date, day] : m_state.days) {
            days.push_back(date);
        }
        for (const auto& [date, remote] : m_remote) {
            days.push_back(date);
        }
        for (const auto& [href, resource] : m_state.foreign) {
            for (const ForeignEntry& e : resource.entries) {
                days.push_back(CompactDate(e.date));
            }
        }
        for (const auto& [href, change] : m_foreignChanges) {
            for (std::size_t i = 0; change && i < change->entries.size(); ++i) {
                days.push_back(CompactDate(change->entries[i].date));
            }
        }
        std::sort(days.begin(), days.end());
        days.erase(std::unique(days.begin(), days.end()), days.end());
        // A day whose key the diary cannot hold in its century window is left alone.
        const std::size_t all = days.size();
        std::erase_if(days, [&](const std::string& d) {
            const SyncDate date = *ParseCompactDate(d);
            return SyncDateOfKey(KeyOfSyncDate(date), m_options.pivot) != date;
        });
        days.shrink_to_fit();
        // Said, not silent: a phone's entry of such a year would otherwise never show anywhere.
        m_report.outOfYears = static_cast<int>(all - days.size());
        return days;
    }

    // Reads our entry of the day again, after a 412 or when its ETag is not known.
    SyncStatus Refetch(const std::string& href, RemoteDay& remote) {
        std::vector<FetchedEntry> fetched;
        const SyncStatus status = m_client.Fetch(m_state.collection, {href}, fetched);
        if (status != SyncStatus::kOk) {
            return status;
        }
        remote = RemoteDay{std::nullopt, {}, href, {}};
        if (fetched.empty() || (!fetched[0].data && !fetched[0].tooLarge)) {
            return SyncStatus::kOk;
        }
        if (fetched[0].tooLarge) {
            return SyncStatus::kTooLarge;
        }
        ResourceRead read = ReadCalendarResource(*fetched[0].data, m_options.localDateOf);
        if (!read.error.empty()) {
            return SyncStatus::kTooLarge;
        }
        remote.etag = fetched[0].etag;
        const std::optional<SyncDate> own = DateOfOwnHref(href);
        for (ResourceEntry& e : read.entries) {
            if (e.ours && own && e.date == *own) {
                remote.text = std::move(e.text);
                remote.newDay = e.newDay.empty() ? kNoDayMark : std::move(e.newDay);
                break;
            }
        }
        // Held by something that is not our entry of the day: another client's, never to be written.
        return remote.text ? SyncStatus::kOk : SyncStatus::kConflict;
    }

    // One day of the run, from its plan to what came of it.
    struct Day {
        SyncDate date;
        std::string key;
        std::string local;              // the note as the run found it
        std::vector<std::string> shown; // other clients' entries of the day, as the run leaves them
        DaySides sides;
        DayPlan plan;
        std::string mark; // the X-QUILLIDAR-NEW-DAY its write bears; empty for none
    };

    Day DayOf(const SyncDate& date) {
        Day day{date, KeyOfSyncDate(date), std::string(m_notes.FindNote(KeyOfSyncDate(date))), {}, {}, {},
                {}};
        const std::string d = CompactDate(date);
        const auto agreed = m_state.days.find(d);
        RemoteDay& remote = day.sides.remote;
        if (const auto r = m_remote.find(d); r != m_remote.end()) {
            remote = r->second;
        } else if (agreed != m_state.days.end()) {
            remote =
                RemoteDay{agreed->second.base, agreed->second.etag, agreed->second.href, agreed->second.made};
        }
        if (remote.href.empty()) {
            remote.href = CalDavClient::PathOfUrl(m_state.collection) + HrefNameOfDay(date);
        }
        if (agreed != m_state.days.end()) {
            day.sides.base = agreed->second.base;
            day.sides.made = agreed->second.made; // empty when a state of an older version did not keep it
        }
        day.shown = ForeignTextsOf(m_newByDay, d, day.local, false);
        // Told apart by where each part came from, never by equal words: what the last run appended
        // for other clients is theirs, the rest is typed here.
        day.sides.own = OwnTextOfNote(day.local, day.sides.base.value_or(""),
                                      ForeignTextsOf(m_oldByDay, d, day.local, true));
        return day;
    }

    // Plans the day; a day that needs a write waits for it with the others, up to a batch.
    SyncStatus SyncDay(const SyncDate& date) {
        if (m_unreadable.count(CompactDate(date))) {
            return SyncStatus::kTooLarge;
        }
        Day day = DayOf(date);
        day.plan = PlanDay(day.sides);
        day.sides.base = day.plan.base;
        if (day.plan.write == DayWrite::kNone) {
            Finish(day);
            return SyncStatus::kOk;
        }
        if (day.plan.write == DayWrite::kReread) {
            return Settle(day, 0);
        }
        m_pending.push_back(std::move(day));
        return SyncStatus::kOk;
    }

    MemberWrite WriteOf(Day& day) {
        const RemoteDay& remote = day.sides.remote;
        const bool create = day.plan.write == DayWrite::kCreate;
        day.mark = create ? UploadMark(day.plan.decision.text, m_options.stamp) : day.plan.keptMark;
        MemberWrite write{CalDavClient::UrlOfHref(m_state.collection, remote.href), std::nullopt,
                          remote.etag};
        if (day.plan.write != DayWrite::kDelete) {
            write.body =
                EncodeDayResource(day.date, day.plan.decision.text, m_options.stamp, create, day.mark);
            if (create) {
                write.etag.reset();
            }
        }
        return write;
    }

    // The days waiting for their writes, written together. Every write the server confirmed is kept
    // whatever became of the others; a day another device got to first is read again and settled
    // alone, unless the batch met a fault that stops the run: then it waits for the next run.
    SyncStatus WritePending() {
        std::vector<Day> days = std::move(m_pending);
        m_pending.clear();
        if (days.empty()) {
            return SyncStatus::kOk;
        }
        std::vector<MemberWrite> writes;
        for (Day& day : days) {
            writes.push_back(WriteOf(day));
        }
        const std::vector<MemberWritten> written = m_client.WriteAll(writes, m_options.stop);
        SyncStatus stop = SyncStatus::kOk;
        auto take = [&](std::size_t i) {
            const SyncStatus status = Written(days[i], written[i], 0);
            RecordStatus(status);
            if (Stops(status) && stop == SyncStatus::kOk) {
                stop = status;
            }
        };
        std::vector<std::size_t> overtaken;
        for (std::size_t i = 0; i < days.size(); ++i) {
            if (written[i].httpStatus == 412) {
                overtaken.push_back(i);
            } else {
                take(i);
            }
        }
        for (const std::size_t i : overtaken) {
            if (stop == SyncStatus::kOk && Stopped()) {
                stop = SyncStatus::kCut;
                RecordStatus(stop);
            }
            if (stop != SyncStatus::kOk) {
                break;
            }
            take(i);
        }
        return stop;
    }

    // What came of a day's write: confirmed, read again and settled after a 412, or failed.
    SyncStatus Written(Day& day, const MemberWritten& written, int attempt) {
        if (written.httpStatus == 412) {
            const SyncStatus status = Refetch(day.sides.remote.href, day.sides.remote);
            return status != SyncStatus::kOk ? Failed(day, status) : Settle(day, attempt + 1);
        }
        // An entry already gone is what a delete wanted.
        const bool gone = day.plan.write == DayWrite::kDelete && written.httpStatus == 404;
        if (written.status != SyncStatus::kOk && !gone) {
            return Failed(day, written.status);
        }
        if (day.plan.write == DayWrite::kDelete) {
            ++m_report.deletedThere;
        } else {
            ++m_report.pushed;
            m_report.joined += day.plan.decision.action == DayAction::kJoin;
        }
        day.sides.remote = RemoteDay{day.plan.decision.text, written.etag, day.sides.remote.href,
                                     day.mark.empty() ? std::string(kNoDayMark) : day.mark};
        Finish(day);
        return SyncStatus::kOk;
    }

    // Plans the day again on what was read of it and writes it alone, until it holds, or until
    // another device has written it four times over (the next run tries again).
    SyncStatus Settle(Day& day, int attempt) {
        for (;; ++attempt) {
            day.plan = PlanDay(day.sides);
            day.sides.base = day.plan.base;
            if (day.plan.write == DayWrite::kNone) {
                Finish(day);
                return SyncStatus::kOk;
            }
            if (attempt == 4) {
                return Failed(day, SyncStatus::kConflict);
            }
            if (day.plan.write != DayWrite::kReread) {
                return Written(day, m_client.WriteAll({WriteOf(day)})[0], attempt);
            }
            const SyncStatus status = Refetch(day.sides.remote.href, day.sides.remote);
            if (status != SyncStatus::kOk) {
                return Failed(day, status);
            }
            if (day.sides.remote.text && day.sides.remote.etag.empty()) {
                return Failed(day,
                              SyncStatus::kBadReply); // an entry without an ETag cannot be written safely
            }
        }
    }

    // Unsynced for now, but other clients' entries show, unless the run stops here.
    SyncStatus Failed(const Day& day, SyncStatus status) {
        if (!Stops(status)) {
            Show(day.key, day.local, day.sides.own, day.shown);
        }
        return status;
    }

    // A day this run read as uploaded anew by a writer that never saw the text agreed here, but did
    // not settle (cut, stopped, failed): its agreement is forgotten now, so that a removal of that
    // upload later is compared afresh rather than taken for the deletion of the text agreed here.
    // Its base stays, as what tells the words typed here from other clients' entries of the same
    // words; its ETag goes, so the day is read again.
    void ForgetAgreementsMadeAnew() {
        for (const auto& [date, remote] : m_remote) {
            if (!m_state.days.count(date)) {
                continue; // a day settled is no longer there
            }
            const Day day = DayOf(*ParseCompactDate(date));
            if (day.sides.base && !PlanDay(day.sides).base) {
                SyncDayState& forgotten = m_state.days[date];
                forgotten.etag.clear();
                forgotten.made = kForgottenMark;
            }
        }
    }

    // The state: what both sides now agree on; and the note that shows it.
    void Finish(const Day& day) {
        const std::string d = CompactDate(day.date);
        // Read once, and settled: a big pull holds the server's text of a day once, and the days
        // left in m_remote are those not settled.
        m_remote.erase(d);
        const DayDecision& decision = day.plan.decision;
        const RemoteDay& remote = day.sides.remote;
        if (decision.text.empty()) {
            m_state.days.erase(d);
        } else {
            m_state.days[d] = SyncDayState{remote.href, remote.etag, decision.text, remote.newDay};
        }
        if (Show(day.key, day.local, decision.text, day.shown)) {
            if (decision.action == DayAction::kDeleteLocal) {
                ++m_report.deletedHere;
            } else {
                ++m_report.pulled;
            }
        }
        // The note holds the other clients' texts now: a big pull of phone entries holds each once.
        for (ForeignEntry* entry : ForeignEntriesOf(m_newByDay, d)) {
            HoldAsSumWhenShown(m_notes.FindNote(day.key), *entry);
        }
    }

    // The note: our text, then every other client's entry of the day, in one order on every PC. True
    // when the note changed.
    bool Show(const std::string& key, const std::string& local, const std::string& own,
              const std::vector<std::string>& shown) {
        const std::string note = ComposeNote(own, shown);
        if (note == local || (IsBlankNote(note) && IsBlankNote(local) && m_notes.FindNote(key).empty())) {
            return false;
        }
        m_report.changedFrom.emplace_back(m_notes.FindNote(key));
        m_notes.SetNote(key, note);
        m_report.changedKeys.push_back(key);
        return true;
    }

    CalDavClient& m_client;
    NoteMap& m_notes;
    SyncState& m_state;
    const SyncOptions& m_options;
    SyncReport m_report;
    std::map<std::string, RemoteDay> m_remote; // our days the server changed, by CompactDate
    std::map<std::string, std::optional<ForeignResource>> m_foreignChanges; // nullopt: gone
    // Both sets of other clients' entries by day, the new one over the state's and the changes; no
    // entry comes or goes while the days are synced, but a text is let go once its note shows it.
    ForeignTextsByDay m_oldByDay, m_newByDay;
    std::set<std::string> m_unreadable;
    std::vector<Day> m_pending; // planned days whose writes are not sent yet
    bool m_foundAgain = false;  // the collection went and was looked for again in this run
    bool m_doubted = false;     // the listing by token was refused, or proved wrong
    bool m_fetchCut = false;    // the fetch ended early: only the days read before are synced
};

} // namespace

SyncReport RunSync(CalDavClient& client, NoteMap& notes, SyncState& state, const SyncOptions& options) {
    return Run(client, notes, state, options).Go();
}
