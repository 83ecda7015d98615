! Writes each value under each edit descriptor the output fields use, one "write" line a
! case (see case_lines.f90). Built and run by tests/fortran/regenerate.
program write_fields
  use, intrinsic :: iso_fortran_env, only: int64
  use, intrinsic :: ieee_arithmetic, only: ieee_value, ieee_positive_inf, ieee_quiet_nan
  use case_lines
  implicit none
  real(dp) :: inf, nan, denorm
  real(dp) :: common(18), g4(36), g6(30), e(8)
  integer(int64), parameter :: imax = huge(0_int64), imin = -huge(0_int64) - 1

  inf = ieee_value(1.0_dp, ieee_positive_inf)
  nan = ieee_value(1.0_dp, ieee_quiet_nan)
  denorm = nearest(0.0_dp, 1.0_dp)

  ! Every F, E and G table starts with these: signed zeros and ones, ties, a value too wide
  ! for most fields, one that rounds to zero, the smallest and the largest double.
  common = [0.0_dp, -0.0_dp, 1.0_dp, -1.0_dp, 0.5_dp, -0.001_dp, 0.125_dp, 2.5_dp, &
            1234.5678_dp, -1234.5678_dp, 1e100_dp, -1e-100_dp, denorm, huge(1.0_dp), &
            0.09999995_dp, 99999.95_dp, 999999.5_dp, 123456789.0_dp]

  ! Fw.d: ties and their rounding into the next digit, at the width of each field.
  call put('F7.2', [common, 0.005_dp, 0.015_dp, 0.375_dp, 2.675_dp, 9999.995_dp, -999.995_dp, &
                    99999.99_dp, -9999.99_dp, 0.999_dp, -0.5_dp, 1e7_dp, -0.004999_dp])
  call put('F8.4', [common, 99.99995_dp, 999.99995_dp, -99.99995_dp, -9.99995_dp, 0.00005_dp, &
                    0.00015_dp, -0.00004_dp])
  call put('F10.4', [common, 99999.99995_dp, -9999.99995_dp, 0.00005_dp, -0.00005_dp])
  call put('F10.5', [common, 9999.999995_dp, -999.999995_dp, 0.000005_dp, 5.4309_dp, 90.0_dp])
  call put('F11.6', [common, 9999.9999995_dp, -999.9999995_dp, 1.540560_dp, 0.0000005_dp])
  call put('F12.4', [common, 9999999.99995_dp, -999999.99995_dp, 0.00005_dp])
  call put('F12.6', [common, 99999.9999995_dp, -9999.9999995_dp])
  call put('F15.3', [common, 99999999999.9995_dp, -9999999999.9995_dp, 0.0005_dp, -0.0005_dp])
  call put('F15.4', [common, 9999999999.99995_dp, -999999999.99995_dp, -59.123_dp, 67.5_dp])
  call put('F15.7', [common, 9999999.99999995_dp, -999999.99999995_dp])
  call put('F20.4', [common, 99999999999999.99995_dp, -9999999999999.99995_dp, 1e15_dp, 1e16_dp])

  ! Gw.4 and Gw.6: the bounds between the F and the E form (0.1 - 0.5e-(d+1), 10^s - 0.5 for
  ! each digit count s, 10^d - 0.5), the value computed as the run time computes it, and
  ! their neighbours.
  g4 = [0.099995_dp, below(0.099995_dp), above(0.099995_dp), 0.1_dp*(1 - 0.5_dp/1e4_dp), &
        below(0.1_dp*(1 - 0.5_dp/1e4_dp)), 0.99995_dp, below(0.99995_dp), above(0.99995_dp), &
        9.9995_dp, below(9.9995_dp), above(9.9995_dp), 99.995_dp, below(99.995_dp), &
        above(99.995_dp), 999.95_dp, below(999.95_dp), above(999.95_dp), 9999.5_dp, &
        below(9999.5_dp), above(9999.5_dp), 1e4_dp, -9999.5_dp, -below(9999.5_dp), &
        -0.099995_dp, -below(0.099995_dp), 0.1_dp, 1.0e-10_dp, -1.0e-10_dp, 9.99995e99_dp, &
        9.9995e99_dp, -9.99995e-100_dp, 1e-99_dp, 2.345678e1_dp, 103.0_dp, 48.0_dp, 1e5_dp]
  g6 = [below(0.09999995_dp), above(0.09999995_dp), 0.0999995_dp, 0.1_dp*(1 - 0.5_dp/1e6_dp), &
        below(0.1_dp*(1 - 0.5_dp/1e6_dp)), 0.9999995_dp, below(0.9999995_dp), 9.999995_dp, &
        below(9.999995_dp), 99.99995_dp, below(99.99995_dp), 999.9995_dp, below(999.9995_dp), &
        9999.995_dp, below(9999.995_dp), below(99999.95_dp), above(99999.95_dp), &
        below(999999.5_dp), above(999999.5_dp), -999999.5_dp, -below(999999.5_dp), 1e6_dp, &
        1234567.0_dp, 0.05_dp, -0.0999995_dp, 9.999995e99_dp, 9.9999995e99_dp, 1e-100_dp, &
        -2.345678e11_dp, 0.1_dp]
  call put('1PG12.4', [common, g4])
  call put('G12.4', [common, g4])
  call put('G12.6', [common, g6])
  call put('1PG13.6', [common, g6])
  call put('1PG14.6', [common, g6])

  ! Ew.d with and without 1P: rounding into the next power of ten, exponents beyond 99.
  e = [9.99995e99_dp, 9.99995e-100_dp, -9.9999995e99_dp, 0.000123456789_dp, 1.99999995_dp, &
       -9.5e-5_dp, 1e-99_dp, 1e99_dp]
  call put('1PE12.4', [common, e])
  call put('E12.4', [common, e])
  call put('E12.6', [common, e])
  call put('1PE13.6', [common, e])
  call put('1PE14.6', [common, e])
  call put('1PE10.3', [common, e])

  ! G of zero: the F form with one digit before the point, whatever the scale factor.
  call put('1PG12.4', [0.0_dp])
  call put('1PG13.6', [0.0_dp])
  call put('G14.6', [0.0_dp])
  ! G too narrow for its F form: w asterisks, the four trailing columns included.
  call put('1PG9.4', [-0.099995_dp, -8.8_dp, 8.8_dp])
  call put('G10.6', [23848.03_dp, 0.5_dp])
  ! E beyond exponent 99: three digits without the letter.
  call put('1PE12.4', [1e100_dp, 1e-100_dp, 9.99995e-100_dp, 9.9999995e-100_dp])
  call put('E12.6', [1e100_dp, 1e-99_dp, denorm])
  ! E drops its optional zero only without a scale factor; F drops it, never the minus sign.
  call put('E9.4', [0.0_dp, 0.25_dp])
  call put('1PE9.4', [0.0_dp])
  call put('1PE10.4', [0.0_dp])
  call put('F4.2', [0.5_dp, -0.5_dp])
  call put('F3.2', [0.5_dp, -0.5_dp, -0.001_dp])
  call put('F7.0', [2.5_dp, 0.4_dp, -0.4_dp])
  ! Other scale factors.
  call put('2PE12.4', [1234.5678_dp, 0.0_dp])
  call put('-1PE12.4', [1234.5678_dp, 0.0_dp])
  ! Infinity and NaN: right-justified, Inf in a field too narrow for Infinity, asterisks
  ! where even that does not fit.
  call put('F7.2', [inf, -inf, nan])
  call put('F8.2', [inf, -inf])
  call put('F9.2', [-inf])
  call put('F3.0', [inf, -inf, nan])
  call put('F2.0', [nan])
  call put('1PG12.4', [inf, -inf])
  call put('G12.6', [nan])
  call put('E12.4', [-inf])

  ! Iw: the widest value of each sign that fits, the first that does not, and the extremes.
  call put_i('I3', [0_int64, -1_int64, 99_int64, -99_int64, 100_int64, -100_int64, 999_int64, &
                    1000_int64, -999_int64, 9999_int64, imax, imin])
  call put_i('I4', [0_int64, -1_int64, -99_int64, 100_int64, -100_int64, 999_int64, 1000_int64, &
                    -999_int64, 9999_int64, -9999_int64, 99999_int64, imax, imin])
  call put_i('I5', [0_int64, -1_int64, -100_int64, 1000_int64, -999_int64, 9999_int64, &
                    -9999_int64, 99999_int64, 100000_int64, -99999_int64, 999999_int64, imax, imin])
  call put_i('I6', [0_int64, -1_int64, -9999_int64, 99999_int64, 100000_int64, -99999_int64, &
                    999999_int64, -999999_int64, 9999999_int64, imax, imin])
  call put_i('I7', [0_int64, -1_int64, 100000_int64, -99999_int64, 999999_int64, -999999_int64, &
                    9999999_int64, -9999999_int64, 10000000_int64, imax, imin])
  call put_i('I9', [0_int64, -1_int64, -9999999_int64, 10000000_int64, 123456789_int64, &
                    -12345678_int64, 1000000000_int64, imax, imin])

contains

  elemental real(dp) function below(x)
    real(dp), intent(in) :: x
    below = nearest(x, -1.0_dp)
  end function below

  elemental real(dp) function above(x)
    real(dp), intent(in) :: x
    above = nearest(x, 1.0_dp)
  end function above

  ! The field written before a bar, so that its trailing blanks are kept.
  function field(buf) result(text)
    character(len=*), intent(in) :: buf
    character(len=:), allocatable :: text
    text = buf(1:index(buf, '|', back=.true.) - 1)
  end function field

  subroutine put(desc, values)
    character(len=*), intent(in) :: desc
    real(dp), intent(in) :: values(:)
    character(len=64) :: buf
    integer :: i
    do i = 1, size(values)
      write (buf, '('//desc//',"|")') values(i)
      call line('write', desc, exact(values(i)), quoted(field(buf)))
    end do
  end subroutine put

  subroutine put_i(desc, values)
    character(len=*), intent(in) :: desc
    integer(int64), intent(in) :: values(:)
    character(len=64) :: buf, num
    integer :: i
    do i = 1, size(values)
      write (buf, '('//desc//',"|")') values(i)
      write (num, '(I0)') values(i)
      call line('write', desc, trim(num), quoted(field(buf)))
    end do
  end subroutine put_i

end program write_fields
