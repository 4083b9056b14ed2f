#pragma once
#include "layout/AgeMapModel.h"
#include "state/AppState.h"

namespace tallymere::AgeMapStore {

// The Age Map of `shown` as AgeMapModel::build gives it at `now` in the local time zone, in the
// size mode `useAllocated`. A map made before is reused only while it is exactly what a new walk
// would give: the same folder of the same tree (a tree is never changed once shown; a new scan or
// filter makes a new one), the same sizes and time zone, and a clock that has not reached the
// first moment any file changes its age bucket or becomes stale. Window's thread only.
AgeMapModel::AgeMap mapOf(const AppState::NodePtr& shown, bool useAllocated, double now);

// Starts making, on a thread of idle priority, the maps of the folders likely shown next: the
// larger subfolders of `shown` and its parent, those not kept already. The one walk a first
// showing of a large folder would make on the window's thread is then done before it is asked
// for; a map asked for before its turn is walked by the asker as before. A later call replaces the
// folders not yet begun. Window's thread only.
void prefetchAround(const AppState::NodePtr& shown, bool useAllocated, double now);

// Starts making the map of `shown` itself the same way, unless it is small or kept: a tree just
// displayed, which the Age Map shows first when it is opened. Window's thread only.
void prefetchShown(const AppState::NodePtr& shown, bool useAllocated, double now);

// Lets go of every map kept and made ahead and of the folders not yet walked, and stops the walk
// under way: a new scan is starting and their tree is going. Window's thread only.
void forget();

// Blocks until the folders asked for are done, for tests.
void waitForPrefetch();
// How many maps were walked by mapOf on the calling thread so far, for tests.
int walksHere();

} // namespace tallymere::AgeMapStore
