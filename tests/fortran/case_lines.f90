! The lines of tests/fortran/field_cases.txt: one case a line, four fields separated by tabs.
!
!   write  DESCRIPTOR  VALUE    "TEXT"     a value written under an edit descriptor
!   read   DESCRIPTOR  "TEXT"   VALUE      a field of w columns read under it (or: error)
!   list   ITEMS       "TEXT"   VALUES     records read list-directed into the items
!
! Texts stand in double quotes, so that their blanks survive, with \t for a tab, \n between
! records, \" and \\. Reals are written with 17 significant digits (ES24.16E3), which carry
! every double exactly: each is read back here and must give the same bits.
module case_lines
  use, intrinsic :: iso_fortran_env, only: real64, int64
  implicit none
  private
  public :: dp, tab, exact, quoted, line

  integer, parameter :: dp = real64
  character(len=*), parameter :: tab = char(9)

contains

  ! x with 17 significant digits, or NaN, Infinity, -Infinity.
  function exact(x) result(s)
    real(dp), intent(in) :: x
    character(len=:), allocatable :: s
    character(len=32) :: buf
    real(dp) :: back
    write (buf, '(ES24.16E3)') x
    if (x == x) then
      read (buf, '(ES24.16E3)') back
      if (transfer(back, 0_int64) /= transfer(x, 0_int64)) error stop 'a value did not survive'
    end if
    s = trim(adjustl(buf))
  end function exact

  ! The text in double quotes with its tabs, record ends, quotes and backslashes escaped.
  function quoted(text) result(s)
    character(len=*), intent(in) :: text
    character(len=:), allocatable :: s
    integer :: i
    s = '"'
    do i = 1, len(text)
      select case (text(i:i))
      case (char(9))
        s = s//'\t'
      case (char(10))
        s = s//'\n'
      case ('"')
        s = s//'\"'
      case ('\')
        s = s//'\\'
      case default
        s = s//text(i:i)
      end select
    end do
    s = s//'"'
  end function quoted

  subroutine line(kind, what, input, expected)
    character(len=*), intent(in) :: kind, what, input, expected
    write (*, '(a)') kind//tab//what//tab//input//tab//expected
  end subroutine line

end module case_lines
