#pragma once
// What a key detector hands on: the key's transitions with their times in
// ms of the signal, and how far the signal has been examined. The analyser's
// own tone detector and the robust detector both report this way.

class IKeyEdgeSink {
public:
    virtual ~IKeyEdgeSink() = default;
    // The key went down (a mark begins) or up at `ms`; edges come in time order.
    virtual void KeyEdge(double ms, bool down) = 0;
    // No edge before `ms` is still to come.
    virtual void KeyTime(double ms) = 0;
};
