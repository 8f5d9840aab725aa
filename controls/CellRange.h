#pragma once
// Cell addresses and rectangular ranges of cells in the grid control.

class CCellID {
public:
    CCellID() : row(-1), col(-1) {}
    CCellID(int row, int col) : row(row), col(col) {}

    bool IsValid() const { return row >= 0 && col >= 0; }
    bool operator==(const CCellID& o) const { return row == o.row && col == o.col; }
    bool operator!=(const CCellID& o) const { return !(*this == o); }

    int row;
    int col;
};

class CCellRange {
public:
    CCellRange() { Set(); }
    CCellRange(int minRow, int minCol, int maxRow, int maxCol) { Set(minRow, minCol, maxRow, maxCol); }

    void Set(int minRow = -1, int minCol = -1, int maxRow = -1, int maxCol = -1)
    {
        m_nMinRow = minRow;
        m_nMinCol = minCol;
        m_nMaxRow = maxRow;
        m_nMaxCol = maxCol;
    }

    bool IsValid() const
    {
        return m_nMinRow >= 0 && m_nMinCol >= 0 && m_nMaxRow >= 0 && m_nMaxCol >= 0 && m_nMinRow <= m_nMaxRow &&
               m_nMinCol <= m_nMaxCol;
    }
    bool InRange(int row, int col) const { return row >= m_nMinRow && row <= m_nMaxRow && col >= m_nMinCol && col <= m_nMaxCol; }
    bool InRange(const CCellID& cell) const { return InRange(cell.row, cell.col); }

    CCellID GetTopLeft() const { return CCellID(m_nMinRow, m_nMinCol); }
    int GetMinRow() const { return m_nMinRow; }
    int GetMinCol() const { return m_nMinCol; }
    int GetMaxRow() const { return m_nMaxRow; }
    int GetMaxCol() const { return m_nMaxCol; }
    void SetMinRow(int v) { m_nMinRow = v; }
    void SetMinCol(int v) { m_nMinCol = v; }
    void SetMaxRow(int v) { m_nMaxRow = v; }
    void SetMaxCol(int v) { m_nMaxCol = v; }
    int GetRowSpan() const { return m_nMaxRow - m_nMinRow + 1; }
    int GetColSpan() const { return m_nMaxCol - m_nMinCol + 1; }

    bool operator==(const CCellRange& o) const
    {
        return m_nMinRow == o.m_nMinRow && m_nMinCol == o.m_nMinCol && m_nMaxRow == o.m_nMaxRow && m_nMaxCol == o.m_nMaxCol;
    }
    bool operator!=(const CCellRange& o) const { return !(*this == o); }

private:
    int m_nMinRow;
    int m_nMinCol;
    int m_nMaxRow;
    int m_nMaxCol;
};
