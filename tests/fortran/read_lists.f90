! Reads records list-directed ("free format") into integers, a real or texts, one "list"
! line a case (see case_lines.f90): the items' values after the read (-777, -777.5 and KEEP
! are values they had before it and kept), or "error" where the read fails. One record is
! read as an internal file, several from an external file. Built and run by
! tests/fortran/regenerate.
!
! Not here, as memprep reads them otherwise deliberately: NaN, Infinity and reals beyond the
! largest double (refused; gfortran reads NaN or Infinity), and a slash first in a record
! after a value's record end or after blank records, which ends the list (gfortran 12 reads
! the character after it) (tests/fields_test.cpp).
program read_lists
  use, intrinsic :: iso_fortran_env, only: int64
  use case_lines
  implicit none
  character(len=*), parameter :: nl = char(10), tb = char(9)

  ! Separators, null values, repeats and the slash, in one record.
  call get('I,I,I', '1 2 3'); call get('I,I,I', '1,2,3'); call get('I,I,I', ' 1 , 2 , 3 ')
  call get('I,I,I', '1'//tb//'2'//tb//'3'); call get('I,I,I', '1,,3'); call get('I,I,I', ',2,3')
  call get('I,I,I', '1,  ,3'); call get('I,I,I', '1,'//tb//',3'); call get('I,I,I', '1;2;3')
  call get('I,I,I', '1;;3'); call get('I,I,I', '2*5 7'); call get('I,I,I', '2* 7')
  call get('I,I,I', '2*,3'); call get('I,I,I', '3*'); call get('I,I,I', '1*2,2*4')
  call get('I,I,I', '01*2 3 4'); call get('I,I,I', '2*-5 8'); call get('I,I,I', '1 2 / 9')
  call get('I,I,I', '1/'); call get('I,I,I', '1,/'); call get('I,I,I', '/')
  call get('I,I,I', '1 2 3/x'); call get('I,I,I', '1 2 3 4 5'); call get('I,I,I', '1 2 3, junk')
  call get('I,I,I', '+5 -0 007'); call get('I,I,I', '1 2 3*')
  call get('I,I,I', '9223372036854775807 -9223372036854775808 0')

  ! Values going on over records; blank records and commas at the start of a record.
  call get('I,I,I', '1'//nl//'2'//nl//'3'); call get('I,I,I', '1'//nl//nl//'   '//nl//'2 3')
  call get('I,I,I', nl//nl//'1 2 3'); call get('I,I,I', '1,'//nl//'2 3')
  call get('I,I,I', '1,'//nl//',3'); call get('I,I,I', '1 ,'//nl//nl//',3')
  call get('I,I,I', '1'//nl//',2 3'); call get('I,I,I', '1 2'//nl//nl//',3')
  call get('I,I,I', nl//',1 2 3'); call get('I,I,I', nl//',,1 2')
  call get('I,I,I', nl//','//nl//'3 4 5'); call get('I,I,I', '1'//nl//','//nl//',3 4')
  call get('I,I,I', ','//nl//'1 2'); call get('I,I,I', ','//nl//',3 4')
  call get('I,I,I', '1 2'//nl//'  '//nl//' /'); call get('I,I,I', '1'//nl//'/ 5 6')
  call get('I,I,I', '1,2*'//nl//'3')

  ! Reals: points, exponent letters or a sign alone, underflow, a repeat, many digits.
  call get('F', '1'); call get('F', '1.'); call get('F', '.5'); call get('F', '+.5')
  call get('F', '-.5'); call get('F', '1e5'); call get('F', '1E+5'); call get('F', '1d5')
  call get('F', '1q5'); call get('F', '1+5'); call get('F', '1-5'); call get('F', '1.5+5')
  call get('F', '-1.5e-3'); call get('F', '1.5D+03'); call get('F', '1.5 D+03')
  call get('F', '1,5'); call get('F', '1e-400'); call get('F', '-1e-400')
  call get('F', '1e-99999'); call get('F', '0e99999'); call get('F', '2*1.5')
  call get('F', '4.9e-324')
  call get('F', '100000000000000000000000000000000000000000000000001')

  ! Items that are not numbers.
  call get('F', '-'); call get('F', '+'); call get('F', '.'); call get('F', '-.')
  call get('F', 'e5'); call get('F', '.e5'); call get('F', '1e'); call get('F', '1e+')
  call get('F', '1+'); call get('F', '1e5.'); call get('F', '1.5.'); call get('F', '1x')
  call get('F', "1'"); call get('F', '1('); call get('F', '0x1p3'); call get('F', 'T')
  call get('F', '*'); call get('F', '2*1.5x'); call get('F', '1.5*2')
  call get('I,I', '1.'); call get('I,I', '-'); call get('I,I', '+'); call get('I,I', '1x')
  call get('I,I', 'x1'); call get('I,I', '1 2x'); call get('I,I', '2*x')
  call get('I,I', '2*2*3'); call get('I,I', '+1*5'); call get('I,I', '0*5')
  call get('I,I', '1 0* 2'); call get('I,I', '2147483648*5')
  call get('I,I', '99999999999999999999*5')

  ! Texts: words up to a separator, strings in quotes or apostrophes, repeated, over records.
  call get('A,A,A', 'a b c'); call get('A,A,A', '  abc def ghi jkl')
  call get('A,A,A', 'abc,def/ghi'); call get('A,A,A', 'a;b;c'); call get('A,A,A', 'a,,c')
  call get('A,A,A', '} 1.5 2.5'); call get('A,A,A', '12ab *x x* ')
  call get('A,A,A', "-1*x 1e3*x a'b"); call get('A,A,A', '2*ab c')
  call get('A,A,A', "'a b' c d"); call get('A,A,A', "a,'b,c',d")
  call get('A,A,A', '''it''''s'' "x""y" ''a"b'''); call get('A,A,A', "'ab"//nl//"cd' x y")
  call get('A,A,A', "2*'a b' c"); call get('A,A,A', "'' x y"); call get('A,A,A', "'a'/b c")

contains

  ! Reads the records (separated by nl) into the items: I,I,I (three integers), I,I, F (one
  ! real) or A,A,A (three texts).
  subroutine get(items, records)
    character(len=*), intent(in) :: items, records
    integer(int64) :: n(3)
    real(dp) :: x
    character(len=20) :: a(3)
    character(len=:), allocatable :: got
    character(len=24) :: num
    integer :: ios, u, i
    n = -777
    x = -777.5_dp
    a = 'KEEP'
    if (index(records, nl) == 0) then
      select case (items)
      case ('I,I,I')
        read (records, *, iostat=ios) n
      case ('I,I')
        read (records, *, iostat=ios) n(1:2)
      case ('F')
        read (records, *, iostat=ios) x
      case default
        read (records, *, iostat=ios) a
      end select
    else
      open (newunit=u, file='records.txt', access='stream', form='unformatted', &
            status='replace')
      write (u) records//nl
      close (u)
      open (newunit=u, file='records.txt', status='old', action='read')
      select case (items)
      case ('I,I,I')
        read (u, *, iostat=ios) n
      case ('I,I')
        read (u, *, iostat=ios) n(1:2)
      case ('F')
        read (u, *, iostat=ios) x
      case default
        read (u, *, iostat=ios) a
      end select
      close (u, status='delete')
    end if
    if (ios /= 0) then
      got = 'error'
    else if (items == 'F') then
      got = exact(x)
    else if (items == 'A,A,A') then
      got = quoted(trim(a(1)))//' '//quoted(trim(a(2)))//' '//quoted(trim(a(3)))
    else
      write (num, '(I0)') n(1)
      got = trim(num)
      do i = 2, merge(3, 2, items == 'I,I,I')
        write (num, '(I0)') n(i)
        got = got//' '//trim(num)
      end do
    end if
    call line('list', items, quoted(records), got)
  end subroutine get

end program read_lists
