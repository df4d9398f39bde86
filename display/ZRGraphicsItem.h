#pragma once

// The zone index a hit-test item was built from.
class ZRGraphicsItem
{
public:
    int index = -1;
};
