#pragma once

#include "media/FFmpegHolders.h"
#include "media/PictureBuffers.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Decodes a group of pictures (a key frame and the frames after it) with the codec's frame
// threads, for the group cache: pictures come out several packets late, so each packet carries
// its place in the group, and a group ends with a drain that gives out the pictures still held.
// Opened with the options of the player's one-thread decoder; used by one thread at a time.
class GroupDecoder
{
public:
    using Output = std::function<void(ff::FramePtr picture, int64_t tag)>;

    // threads: the codec's frame threads. False when the codec name is unknown or cannot open.
    bool open(const std::string& codec_name, int threads);
    bool is_open() const { return bool(context); }
    // Frees the codec and the memory of its pictures (those still held elsewhere go when released).
    void close();
    const std::string& codec_name() const { return codec; }

    // Forgets every packet and picture of the group in hand: the next packet starts a group.
    void restart();
    // Feeds a packet tagged with its place in the group and gives out every picture ready. False
    // when the codec refused the packet.
    bool send(const uint8_t* data, int size, int64_t tag, const Output& out);
    // The group ends: gives out the pictures the codec still holds.
    void drain(const Output& out);
    // Whether the codec may give pictures out in another order than their packets (B-frames).
    bool may_reorder() const;

private:
    void receive(const Output& out);

    // Outlives the codec context that asks it for pictures.
    std::unique_ptr<PictureBuffers> buffers;
    ff::CodecContextPtr context;
    ff::FramePtr frame;
    ff::PacketPtr packet;
    std::string codec;
    bool draining = false;
};
