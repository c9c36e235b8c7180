! A fixed-column reader of the intensity files, as a refinement program
! reads them: each field by its columns, a point written in a field
! overriding the field's implied decimals, an exponent taken as written.
! Built with the tests (tarnivox_fixed_reader); usage: tarnivox_fixed_reader shelx|rfine FILE.  Prints the values of every record,
! one record to a line, in full precision; an unreadable record ends the
! run with status 1.
program fixed_reader
  implicit none
  character(len=16) :: form
  character(len=4096) :: path
  integer :: h, k, l, batch, code, ios, n
  double precision :: v(7)
  character(len=1) :: st(6)

  call get_command_argument(1, form)
  call get_command_argument(2, path)
  open (unit=10, file=trim(path), status='old', action='read')
  n = 0
  do
    if (form == 'shelx') then
      read (10, '(3I4,2F8.2,I4)', iostat=ios) h, k, l, v(1), v(2), batch
    else
      read (10, '(3I3,2F8.4,2F8.3,F12.2,F8.2,F7.0,2X,6A1,I3)', iostat=ios) h, k, l, v, st, code
    end if
    if (ios < 0) exit
    n = n + 1
    if (ios > 0) then
      write (*, '(A,I0)') 'UNREADABLE RECORD ', n
      stop 1
    end if
    if (form == 'shelx') then
      write (*, '(3(I0,1X),2(ES25.16E3,1X))') h, k, l, v(1), v(2)
    else
      write (*, '(3(I0,1X),7(ES25.16E3,1X))') h, k, l, v
    end if
  end do
  close (10)
end program fixed_reader
