#pragma once
#include "layout/AgeMapModel.h"
#include "views/components/controls/Panel.h"

#include <QRectF>

#include <vector>

namespace tallymere {

class SectionLabel;

// "How old are these bytes?": one row per age bucket, each with its label, a bar as long as its
// bytes relative to the fullest bucket (at least 2), its bytes and its share of all bytes. The
// caption's note is the total. Without buckets only the caption shows, its note "1 B".
class AgeBucketPanel : public Panel {
    Q_OBJECT
public:
    explicit AgeBucketPanel(QWidget* parent = nullptr);

    void setBuckets(std::vector<AgeMapModel::Bucket> buckets);
    const std::vector<AgeMapModel::Bucket>& buckets() const { return m_buckets; }
    QString totalText() const;

    // The colour of a bucket's bar, by its row.
    static QColor tint(const Theme& theme, int bucketId);

    // A row's bar track and fill and its texts, in panel coordinates.
    QRectF trackRect(std::size_t row) const;
    QRectF fillRect(std::size_t row) const;
    QString bytesText(std::size_t row) const;
    QString shareText(std::size_t row) const;

protected:
    void themeChanged() override;

private:
    std::int64_t maxBucket() const;
    std::int64_t total() const;

    std::vector<AgeMapModel::Bucket> m_buckets;
    SectionLabel* m_title;
    QWidget* m_rows;
};

} // namespace tallymere
