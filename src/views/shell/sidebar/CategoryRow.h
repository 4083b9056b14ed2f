#pragma once
#include "core/FileCategory.h"
#include "views/shell/sidebar/SidebarRow.h"

#include <cstdint>

namespace tallymere {

class AppState;

// One File Types row: the category's colour dot, title and bytes. On (full colour) when the
// filter names no category or names this one; dimmed otherwise. A click adds the category to the
// display filter or takes it out; the store re-filters shortly after.
class CategoryRow : public SidebarRow {
    Q_OBJECT
public:
    CategoryRow(AppState& state, FileCategory category, std::int64_t bytes, QWidget* parent = nullptr);

    FileCategory category() const { return m_category; }
    std::int64_t bytes() const { return m_bytes; }
    void setBytes(std::int64_t bytes);
    bool isOn() const;
    void toggle();

    QSize sizeHint() const override;

protected:
    double ringRadius() const override;
    void paintEvent(QPaintEvent* event) override;

private:
    AppState& m_state;
    FileCategory m_category;
    std::int64_t m_bytes;
};

} // namespace tallymere
