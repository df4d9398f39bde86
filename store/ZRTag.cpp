#include "store/ZRTag.h"

void ZRTag::set_tag_id(const QString& value)
{
    tag_id = value;
    empty = false;
}

void ZRTag::set_tag_datetime(const QString& value)
{
    tag_datetime = value;
    empty = false;
}

void ZRTag::set_tag_cam_id(const QString& value)
{
    tag_cam_id = value;
    empty = false;
}

void ZRTag::set_tag_user_id(const QString& value)
{
    tag_user_id = value;
    empty = false;
}

void ZRTag::set_tag_name(const QString& value)
{
    tag_name = value;
    empty = false;
}

void ZRTag::set_tag_created_at(const QString& value)
{
    tag_created_at = value;
    empty = false;
}

void ZRTag::set_tag_description(const QString& value)
{
    tag_description = value;
    empty = false;
}

void ZRTag::set_file_encoded_at(const QString& value)
{
    file_encoded_at = value;
    empty = false;
}
