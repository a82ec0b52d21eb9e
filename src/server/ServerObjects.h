// The Rygel objects clients see, made from the index on the main thread for each answer and
// dropped after it: nothing of Rygel holds the collection in memory. A container asks its
// ObjectSource for children and objects; items carry the resources this program chose.
#pragma once

#include <string>

#include <rygel-server.h>

#include "server/ContentIndex.h"

// Answers the containers' questions. Both calls complete task (on the main thread, now or
// later): GetChildren with a RygelMediaObjects*, FindObject with a RygelMediaObject* or null.
class ObjectSource {
public:
    virtual ~ObjectSource() = default;
    virtual void GetChildren(
        RygelMediaContainer* container, unsigned offset, unsigned count, const std::string& sort, GTask* task)
        = 0;
    virtual void FindObject(const std::string& id, GTask* task) = 0;
};

// The source every container asks; null answers errors. Main thread.
void SetObjectSource(ObjectSource* source);

// A container for node; childCount -1 when not known. parent may be null (the root).
RygelMediaContainer* NewContainerObject(const Node& node, int childCount, RygelMediaContainer* parent);
// A song or photo for node, whose facts are read. pictureBytes tells the size of the
// pictures already made ("tn", "sm", "art"), -1 when not made yet.
RygelMediaObject* NewItemObject(
    const Node& node, RygelMediaContainer* parent, int64_t (*pictureBytes)(const std::string& uri));

// The object an event names: id, title and class only, with parent as its parent (for a
// child added or removed, which has no facts or is gone).
RygelMediaObject* NewEventObject(const Node& node, RygelMediaContainer* parent);

// The internal URI of a picture of an item: kind "tn", "sm" or "art".
std::string PictureUri(const std::string& kind, const std::string& objectId);
// Splits a picture URI; false for anything else.
bool ParsePictureUri(const std::string& uri, std::string& kind, std::string& objectId);

// "YYYY-MM-DD" (UTC) of seconds since 1970; empty for 0.
std::string DateText(int64_t seconds);
