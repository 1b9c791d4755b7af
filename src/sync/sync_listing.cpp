// Whether a listing is of the collection the state was agreed with.
#include "sync/sync_listing.h"

#include <map>
#include <set>

// The listing, checked to be of the collection the state knows. A server may take an old sync
// token on a collection made again (an empty collection's token is the same on some servers, and
// the token kept is the one from before this PC's own writes) and list nothing: one agreed day
// the listing leaves alone must still be there as agreed, or the collection is listed whole and
// judged by ListingOfAnotherCollection.
SyncStatus ListCollection(CalDavClient& client, const SyncState& state, Listing& listing, bool& doubted) {
    SyncStatus status = state.etagsOnly ? client.ListEtags(state.collection, listing)
                                        : client.ListChanges(state.collection, state.token, listing);
    // A token refused is a collection made again as likely as one the server forgot.
    doubted = !state.etagsOnly && !state.token.empty() && listing.complete;
    if (status != SyncStatus::kOk || listing.complete) {
        return status;
    }
    std::set<std::string> named;
    for (const MemberChange& change : listing.changes) {
        named.insert(CalDavClient::PathOfUrl(change.href));
    }
    // The first member known here, an agreed day or another client's entry, that the listing says
    // nothing of, and the first agreed day written without an ETag in reply that it says nothing
    // of: every listing after such a write names it until it is read again, so not finding it
    // there proves the listing wrong as a changed ETag does.
    std::string href, known, unnamed;
    for (const auto& [date, day] : state.days) {
        if (day.href.empty() || named.count(day.href)) {
            continue;
        }
        if (day.etag.empty()) {
            unnamed = unnamed.empty() && day.made != kForgottenMark ? day.href : unnamed;
        } else if (href.empty()) {
            href = day.href, known = day.etag;
        }
    }
    for (auto it = state.foreign.begin(); href.empty() && it != state.foreign.end(); ++it) {
        if (!it->second.etag.empty() && !named.count(it->first)) {
            href = it->first, known = it->second.etag;
        }
    }
    bool wrong = false;
    for (const auto& [member, agreed] : {std::pair{href, known}, std::pair{unnamed, std::string()}}) {
        std::optional<std::string> etag;
        if (!wrong && !member.empty()) {
            status = client.EtagOf(CalDavClient::UrlOfHref(state.collection, member), etag);
            if (status != SyncStatus::kOk) {
                return status;
            }
            wrong = agreed.empty() ? !etag : etag != agreed;
        }
    }
    if (wrong) {
        const std::string token = listing.token;
        status = client.ListEtags(state.collection, listing);
        listing.token = token;
        doubted = true;
        return status;
    }
    return SyncStatus::kOk;
}

// A whole listing that holds no agreed day as agreed (the same ETag) is of another collection than
// the one the days were agreed with when it lacks one of them, or when the listing by token was
// refused or proved wrong: every agreed day written again by another PC is no edit of it then.
bool ListingOfAnotherCollection(const SyncState& state, const Listing& listing, bool doubted) {
    if (!listing.complete || state.days.empty()) {
        return false;
    }
    std::map<std::string, std::string> etags;
    for (const MemberChange& change : listing.changes) {
        if (!change.removed) {
            etags[CalDavClient::PathOfUrl(change.href)] = change.etag;
        }
    }
    bool lacks = false;
    for (const auto& [date, day] : state.days) {
        const auto it = etags.find(day.href);
        if (it == etags.end()) {
            lacks = true;
        } else if (!day.etag.empty() && it->second == day.etag) {
            return false;
        }
    }
    return lacks || doubted;
}
