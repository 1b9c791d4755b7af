// The collection's listing, checked against what the state knows of it.
#pragma once

#include "sync/caldav_client.h"
#include "sync/sync_state.h"

// The listing, checked to be of the collection the state knows: by token, or whole by ETags when
// the state lists that way, when the token was refused (doubted then), or when a member the state
// knows and the listing leaves alone is not there as agreed (doubted too).
SyncStatus ListCollection(CalDavClient& client, const SyncState& state, Listing& listing, bool& doubted);
// A whole listing of another collection than the one the state's days were agreed with (deleted
// and made again): it holds none of them as agreed, and lacks one of them or was doubted.
bool ListingOfAnotherCollection(const SyncState& state, const Listing& listing, bool doubted);
