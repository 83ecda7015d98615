! Reads each text as a field under each edit descriptor the fixed-column readers use, one
! "read" line a case (see case_lines.f90): the value read, or "error" where the read fails.
! Built and run by tests/fortran/regenerate.
!
! Not here, as memprep refuses them deliberately where gfortran reads NaN or Infinity: the
! texts NaN, Inf, Infinity, and reals beyond the largest double such as 1e400 under F8.5 or
! 1e9999 under F10.3 (tests/fields_test.cpp).
program read_fields
  use, intrinsic :: iso_fortran_env, only: int64
  use case_lines
  implicit none

  ! Fw.d, Ew.d and 1PEw.d: implied decimals, blanks anywhere, exponents with a letter or a
  ! sign alone, an empty mantissa, a sign or a point alone, underflow to zero and denormals.
  call get('F6.3', '1024'); call get('F6.3', '  1024'); call get('F6.3', '1.024')
  call get('F6.3', '  1 2 '); call get('F4.1', '16-2'); call get('F4.1', '16+2')
  call get('F6.3', '-1024'); call get('F8.5', ''); call get('F8.5', '        ')
  call get('F8.5', '1'); call get('F8.5', '       1'); call get('F8.5', '1.5')
  call get('F8.5', '-1.5E2'); call get('F8.5', '1.5D-2'); call get('F8.5', '1.5d2')
  call get('F8.5', '1.5Q2'); call get('F8.5', '15E2'); call get('F8.5', '15-2')
  call get('F8.5', '1 5 . 5'); call get('F8.5', '1.5E 2'); call get('F8.5', '1.5E- 2')
  call get('F8.5', '-'); call get('F8.5', '+'); call get('F8.5', '.'); call get('F8.5', '-.')
  call get('F8.5', 'E5'); call get('F8.5', '-E5'); call get('F8.5', '--1')
  call get('F8.5', '-0'); call get('F8.5', '0.0'); call get('F8.5', '1e-400')
  call get('F8.5', '-1e-400'); call get('F8.5', '4.9e-324'); call get('F8.5', '2e-308')
  call get('F10.7', '1.2345678'); call get('F10.7', '12345678'); call get('F10.7', '-5')
  call get('F15.6', '123456789012345'); call get('F15.6', '     -1.234567')
  call get('F15.6', '1.797693134E308'); call get('F11.1', '   123456.7')
  call get('F11.1', '1234567'); call get('F10.6', '  5.430900'); call get('F10.6', '5430900')
  call get('F12.4', '  -59.1230'); call get('F12.4', '   -591230'); call get('F7.4', ' 0.1234')
  call get('F7.4', '  1234'); call get('F7.4', '-1234'); call get('1PE10.3', ' 1.234E+03')
  call get('1PE10.3', '     1.234'); call get('1PE10.3', '      1234')
  call get('1PE10.3', '1.234+3'); call get('1PE10.3', ' 0.000E+00')
  call get('1PE10.3', '-1.234E-03'); call get('E10.3', ' 1.234E+03')
  call get('E10.3', '     1.234'); call get('E10.3', '      1234')
  call get('F10.0', '  123.456'); call get('F10.0', '    123456'); call get('F10.0', '1.5E3')
  call get('F8.0', '      12'); call get('F8.0', '     -12'); call get('F12.0', '1e10')
  call get('E16.0', '  1.23456789E+05'); call get('E16.0', '        12345678')
  call get('E16.0', '0.5D0'); call get('F12.9', ' 0.123456789'); call get('F12.9', '123456789')
  call get('F12.9', '0.5')

  ! Iw: blanks anywhere, signs, the extremes of 64 bits.
  call get('I5', '   42'); call get('I5', '42   '); call get('I5', ' 4 2 ')
  call get('I5', '-0'); call get('I5', '+7'); call get('I5', '     '); call get('I5', '')
  call get('I5', '- 1'); call get('I20', '9223372036854775807')
  call get('I20', '-9223372036854775808'); call get('I3', '999'); call get('I3', '-99')

  ! Texts that are not numbers.
  call get('F8.5', '1.2.3'); call get('F8.5', '1E'); call get('F8.5', '1E+')
  call get('F8.5', '1+'); call get('F8.5', 'x12.5'); call get('F8.5', '1,5')
  call get('F8.5', '1 e2.5'); call get('F10.3', '1.e10000'); call get('F8.5', '1'//char(9)//'5')
  call get('I5', '1.5'); call get('I5', '-'); call get('I5', '+'); call get('I5', '1e3')
  call get('I5', 'x'); call get('I20', '9223372036854775808')
  call get('I20', '-9223372036854775809'); call get('I5', '1-2')

contains

  ! The text in a field of w columns (padded with blanks) read under desc.
  subroutine get(desc, text)
    character(len=*), intent(in) :: desc, text
    character(len=:), allocatable :: f
    character(len=32) :: num
    real(dp) :: x
    integer(int64) :: i
    integer :: w, dot, ios
    dot = index(desc, '.')
    if (dot == 0) dot = len(desc) + 1
    read (desc(scan(desc, 'FEI') + 1:dot - 1), *) w
    allocate (character(len=w) :: f)
    f = text
    if (desc(1:1) == 'I') then
      read (f, '('//desc//')', iostat=ios) i
      write (num, '(I0)') i
    else
      read (f, '('//desc//')', iostat=ios) x
      if (ios == 0) num = exact(x)
    end if
    if (ios /= 0) num = 'error'
    call line('read', desc, quoted(text), trim(num))
  end subroutine get

end program read_fields
